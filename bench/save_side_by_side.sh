#!/usr/bin/env bash
# The save thread's writers against the tools a user would otherwise use, in one run:
#   PNG  ours (Sub/Up rows, libdeflate)     vs Pillow save(compress_level=8)       in process
#   GIF  ours (octree, nearest, giflib)     vs Pillow quantize(FASTOCTREE) + save  in process
#   JPEG quendra-convert BMP -> .jpg        vs cjpeg -quality 90 PPM               whole process
#   JP2  quendra-convert BMP -> .jp2        vs opj_compress -r <our ratio>, 1 and 2 threads, and
#        with our codestream settings (-mct 0: no colour transform, as the codec's defaults);
#        wall and CPU time, and peak resident memory against the bitmap's own size
# on two 24-bit 2000 x 1500 pictures: the grainy photo-like one of make_photo.py, and a real
# photograph (samples/hills.jpg) enlarged with Lanczos, which is much smoother.
# Times are CPU seconds where both sides run in process (the machine may be shared), wall time
# for whole processes; each is the median of three runs.
# Usage: bench/save_side_by_side.sh [build dir]   (default: build/default)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/default}"
bench="$build/bench/save_bench"
convert="$build/src/quendra-convert"
[ -x "$bench" ] && [ -x "$convert" ] || { echo "build $bench and $convert first" >&2; exit 1; }
py=/usr/bin/python3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$py" "$here/bench/make_photo.py" "$work/grain.ppm" "$work/grain.bmp"
"$py" - "$here/samples/hills.jpg" "$work/hills.ppm" "$work/hills.bmp" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB").resize((2000, 1500), Image.LANCZOS)
im.save(sys.argv[2]); im.save(sys.argv[3])
PY

median_wall() {
  local t=()
  for i in 1 2 3; do
    local s e
    s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
    t+=($(( (e - s) / 1000000 )))
  done
  printf '%s\n' "${t[@]}" | sort -n | sed -n 2p
}
# Median wall ms, median CPU ms (user + system) and the largest peak resident KB of three runs.
measure() {
  local i
  for i in 1 2 3; do
    local s e
    s=$(date +%s%N)
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" >/dev/null 2>&1
    e=$(date +%s%N)
    echo "$(( (e - s) / 1000000 )) $(cat "$work/time")"
  done | "$py" -c "
import sys
r = [l.split() for l in sys.stdin]
wall = sorted(int(x[0]) for x in r)[1]
cpu = sorted(round((float(x[1]) + float(x[2])) * 1000) for x in r)[1]
print(wall, cpu, max(int(x[3]) for x in r))"
}
ratio() { "$py" -c "import sys; a,b=float(sys.argv[1]),float(sys.argv[2]); print('%.2f' % (a/b) if b else 'n/a')" "$1" "$2"; }
ratio3() { "$py" -c "import sys; a,b=float(sys.argv[1]),float(sys.argv[2]); print('%.3f' % (a/b) if b else 'n/a')" "$1" "$2"; }

for pic in grain hills; do
  ppm="$work/$pic.ppm" bmp="$work/$pic.bmp"
  json="$work/$pic.json"
  QUENDRA_BENCH_PICTURE="$ppm" "$bench" --benchmark_filter='BM_SavePng|BM_SaveGif|BM_SaveJpeg/' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$json" 2>/dev/null
  ours() { "$py" -c "import json,sys; d=json.load(open(sys.argv[1]))
b=next(b for b in d['benchmarks'] if b['name']==sys.argv[2]+'/real_time_median')
print(round(b['cpu_time']), int(b['bytes']))" "$json" "$1"; }
  read -r png_ms png_bytes < <(ours BM_SavePng)
  read -r gif_ms gif_bytes < <(ours BM_SaveGif)
  read -r jpg_ms jpg_bytes < <(ours BM_SaveJpeg)
  read -r pil_png_ms pil_png_bytes pil_gif_ms pil_gif_bytes < <("$py" - "$ppm" <<'PY'
import io, sys, time
from PIL import Image
im = Image.open(sys.argv[1]); im.load()
def median(f):
    ts = []
    for _ in range(3):
        t = time.process_time(); n = f(); ts.append(time.process_time() - t)
    return round(sorted(ts)[1] * 1000), n
def png():
    b = io.BytesIO(); im.save(b, "PNG", compress_level=8); return len(b.getvalue())
def gif():
    b = io.BytesIO()
    im.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.NONE).save(b, "GIF")
    return len(b.getvalue())
p = median(png); g = median(gif)
print(p[0], p[1], g[0], g[1])
PY
)
  ours_jpg=$(median_wall "$convert" "$bmp" "$work/o.jpg")
  cjpeg_ms=$(median_wall cjpeg -quality 90 -outfile "$work/c.jpg" "$ppm")
  # Ours flushes the file to disk before renaming it into place; so does this run of cjpeg.
  cjpeg_sync_ms=$(median_wall sh -c 'cjpeg -quality 90 -outfile "$1" "$2" && sync "$1"' sh "$work/c.jpg" "$ppm")
  rate=$("$py" -c "n=2000*1500*3; print('%.4f' % (n / (n*100/18**2 + 550 + 142*2)))")
  read -r ours_jp2 ours_jp2_cpu ours_jp2_kb < <(measure "$convert" "$bmp" "$work/o.jp2")
  read -r opj1 opj1_cpu opj1_kb < <(measure opj_compress -i "$ppm" -o "$work/c1.jp2" -r "$rate" -n 6 -threads 1)
  read -r opj2 opj2_cpu opj2_kb < <(measure opj_compress -i "$ppm" -o "$work/c2.jp2" -r "$rate" -n 6 -threads 2)
  read -r opj0 opj0_cpu opj0_kb < <(measure opj_compress -i "$ppm" -o "$work/c0.jp2" -r "$rate" -n 6 -threads 2 -mct 0)
  bitmap_kb=$(( 2000 * 1500 * 3 / 1024 ))

  echo "== $pic: 2000 x 1500, 24-bit (load average $(cut -d" " -f1-3 /proc/loadavg)) =="
  printf '%-46s %9s %11s %12s\n' "task" "ms" "bytes" "ours / them"
  printf '%-46s %9s %11s %12s\n' "PNG ours, CPU" "$png_ms" "$png_bytes" ""
  printf '%-46s %9s %11s %12s\n' "  Pillow compress_level=8, CPU" "$pil_png_ms" "$pil_png_bytes" \
    "$(ratio "$png_ms" "$pil_png_ms") t, $(ratio3 "$png_bytes" "$pil_png_bytes") size"
  printf '%-46s %9s %11s %12s\n' "GIF ours (reduce + write), CPU" "$gif_ms" "$gif_bytes" ""
  printf '%-46s %9s %11s %12s\n' "  Pillow FASTOCTREE + save, CPU" "$pil_gif_ms" "$pil_gif_bytes" \
    "$(ratio "$gif_ms" "$pil_gif_ms") t"
  printf '%-46s %9s %11s %12s\n' "JPEG ours, encoding alone, CPU" "$jpg_ms" "$jpg_bytes" ""
  printf '%-46s %9s %11s %12s\n' "JPEG quendra-convert q90 (read + encode + save)" "$ours_jpg" "$(stat -c %s "$work/o.jpg")" ""
  printf '%-46s %9s %11s %12s\n' "  cjpeg -quality 90, wall" "$cjpeg_ms" "$(stat -c %s "$work/c.jpg")" \
    "$(ratio "$ours_jpg" "$cjpeg_ms") t"
  printf '%-46s %9s %11s %12s\n' "  cjpeg -quality 90, then sync FILE, wall" "$cjpeg_sync_ms" "" \
    "$(ratio "$ours_jpg" "$cjpeg_sync_ms") t"
  printf '%-46s %9s %11s %12s\n' "JP2 quendra-convert q97 (ratio $rate), wall" "$ours_jp2" "$(stat -c %s "$work/o.jp2")" ""
  for row in "opj_compress -threads 1:$opj1:c1:$opj1_cpu:$opj1_kb" "opj_compress -threads 2:$opj2:c2:$opj2_cpu:$opj2_kb" \
    "opj_compress -threads 2 -mct 0 (our settings):$opj0:c0:$opj0_cpu:$opj0_kb"; do
    IFS=: read -r name ms file cpu kb <<<"$row"
    printf '%-46s %9s %11s %12s\n' "  $name, wall" "$ms" "$(stat -c %s "$work/$file.jp2")" \
      "$(ratio "$ours_jp2" "$ms") t, $(ratio3 "$(stat -c %s "$work/o.jp2")" "$(stat -c %s "$work/$file.jp2")") size"
    printf '%-46s %9s %11s %12s\n' "    CPU ms; peak MB" "$cpu" "$(( kb / 1024 ))" "$(ratio "$ours_jp2_cpu" "$cpu") CPU, $(ratio "$ours_jp2_kb" "$kb") mem"
  done
  printf '%-46s %9s %11s %12s\n' "JP2 ours: CPU ms; peak MB (bitmap $(( bitmap_kb / 1024 )) MB)" "$ours_jp2_cpu" \
    "$(( ours_jp2_kb / 1024 ))" "$(ratio "$ours_jp2_kb" "$bitmap_kb") x bitmap"
done
