#!/usr/bin/env bash
# Key press to screen change in the real viewer under Xvfb (with openbox), stepping through a
# folder of 24-megapixel JPEGs: DOWN presses 0.4 s apart sent with XTest, the screen read until
# the picture changes (median and worst of the delays, in ms); then a burst of 30 presses and the
# time from the last one until the screen stops changing; the viewer's resident memory, and
# (roughly, by polling for the caption) its start-up time. Then start-up to the first picture on
# screen against feh, nsxiv and qimgv (installed here when missing) on a 300 x 170 PNG, a
# 1920 x 1080 PNG and a 24-megapixel JPEG: each picture has a magenta block in its middle, and the
# probe reads the middle of each new window until it shows it. Five interleaved rounds; medians
# of the wall time and of the CPU time each viewer had used by then (the machine may be shared:
# the load average is printed with them).
# Usage: bench/key_to_screen.sh [build-dir]   (needs Xvfb, openbox, xdotool, Pillow, cc, libxtst)
set -euo pipefail
build=${1:-build/ci}
viewer="$build/src/quendra"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/probe" "$here/key_to_screen.c" -lX11 -lXtst
# The peers of the start-up comparison, for this benchmark only.
missing=()
for p in feh nsxiv qimgv; do command -v "$p" >/dev/null || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

# Eight 6000 x 4000 photos of different colours, linked under 40 names so that a burst has room.
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image, ImageFilter
out = sys.argv[1]
for i in range(8):
    base = Image.effect_noise((750, 500), 60).convert("RGB").resize((6000, 4000), Image.BICUBIC)
    tint = Image.new("RGB", (6000, 4000), ((37 * i) % 256, (90 + 53 * i) % 256, (200 - 23 * i) % 256))
    Image.blend(base, tint, 0.6).save(f"{out}/src{i}.jpg", quality=90)
PY
mkdir "$work/pics"
for i in $(seq -w 0 39); do ln "$work/src$((10#$i % 8)).jpg" "$work/pics/p$i.jpg"; done

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
sleep 0.5
start=$(date +%s%N)
"$viewer" "$work/pics" >/dev/null 2>&1 & viewer_pid=$!; pids+=($viewer_pid)
# The caption names the picture's size once the first picture is loaded and shown.
win=
until [ -n "$win" ]; do win=$(xdotool search --pid "$viewer_pid" --name 'Image Size' 2>/dev/null | head -1 || true); sleep 0.01; done
printf 'start-up to the first picture (caption polled): %d ms\n' $(( ($(date +%s%N) - start) / 1000000 ))
xdotool windowactivate --sync "$win"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
# The middle of the picture area: the list is closed, the status line 32 pixels high.
px=$((X + WIDTH / 2)); py=$((Y + (HEIGHT - 32) / 2))

"$work/probe" steps "$px" "$py" 30 400 | sort -n > "$work/steps"
printf 'key to screen, 30 steps at 0.4 s: median %s ms, worst %s ms\n' \
  "$(sed -n 15p "$work/steps")" "$(tail -1 "$work/steps")"
grep -E 'VmRSS|VmHWM' "/proc/$viewer_pid/status" | tr -s ' \t' ' ' | sed 's/^/viewer /'
xdotool key --window "$win" Home
sleep 1
printf 'burst of 30 presses: screen settled %s ms after the last\n' \
  "$("$work/probe" burst "$px" "$py" 30)"

# ---- start-up to the first picture, against the peers ----
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
out = sys.argv[1]
def picture(w, h, name, **kw):
    im = Image.effect_noise((max(w // 8, 1), max(h // 8, 1)), 60).convert("RGB").resize((w, h))
    im.paste((230, 30, 200), (w * 2 // 5, h * 2 // 5, w * 3 // 5, h * 3 // 5))
    im.save(f"{out}/{name}", **kw)
picture(300, 170, "small.png")
picture(1920, 1080, "hd.png")
picture(6000, 4000, "photo.jpg", quality=90)
PY
kill "$viewer_pid" 2>/dev/null || true
viewers=("$viewer" feh nsxiv qimgv)
for pic in small.png hd.png photo.jpg; do
  : >"$work/times"
  for round in 1 2 3 4 5; do
    for v in "${viewers[@]}"; do
      printf '%s %s\n' "$(basename "$v")" "$("$work/probe" startup E61EC8 "$v" "$work/$pic" 2>/dev/null)" >>"$work/times"
    done
  done
  printf 'start-up to %s on screen (load %s): median wall ms, CPU ms, ours / theirs\n' "$pic" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
  /usr/bin/python3 - "$work/times" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, wall, cpu = line.split()
    rows.setdefault(name, []).append((float(wall), float(cpu)))
med = {n: (statistics.median(w for w, _ in r), statistics.median(c for _, c in r)) for n, r in rows.items()}
ours = med["quendra"]
for n, (w, c) in med.items():
    ratio = "" if n == "quendra" else "  %.2f wall, %.2f CPU" % (ours[0] / w, ours[1] / c)
    print("  %-8s %7.1f %7.1f%s" % (n, w, c, ratio))
PY
done
