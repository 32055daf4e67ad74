#!/usr/bin/env bash
# Key press to screen change in the real viewer under Xvfb (with openbox), stepping through a
# folder of 24-megapixel JPEGs: DOWN presses 0.4 s apart sent with XTest, the screen read until
# the picture changes (median and worst of the delays, in ms); then a burst of 30 presses and the
# time from the last one until the screen stops changing; the viewer's resident memory, and
# (roughly, by polling for the caption) its start-up time.
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
