#!/usr/bin/env bash
# GIF colour reduction and Targa run-length writing: ours against ImageMagick and Pillow on the
# same 2000 x 1500 photo-like picture, which this script makes itself.
# Usage: bench/codecs_side_by_side.sh [build dir]   (default: build/default)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/default}"
bench="$build/bench/codecs_bench"
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }
py=/usr/bin/python3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pic="$work/photo.ppm"

"$py" "$here/bench/make_photo.py" "$pic"

# Median wall time in milliseconds of three runs of a command.
median_ms() {
  local t=()
  for i in 1 2 3; do
    local s e
    s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
    t+=($(( (e - s) / 1000000 )))
  done
  printf '%s\n' "${t[@]}" | sort -n | sed -n 2p
}

ours_json="$work/ours.json"
QUENDRA_BENCH_PICTURE="$pic" "$bench" --benchmark_filter='GifColourReduction|TargaRleWrite' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$ours_json" 2>/dev/null
ours() { "$py" -c "import json,sys; d=json.load(open(sys.argv[1]))
print(round(next(b['real_time'] for b in d['benchmarks'] if b['name']==sys.argv[2]+'/real_time_median')))" "$ours_json" "$1"; }
ours_gif=$(ours BM_GifColourReduction)
ours_tga=$(ours BM_TargaRleWrite)

# ImageMagick: whole runs, so they include starting up and reading the 9 MB PPM.
im_read=$(median_ms convert "$pic" null:)
im_gif=$(median_ms convert "$pic" +dither -colors 256 null:)
im_tga=$(median_ms convert "$pic" -compress RLE "$work/im.tga")

# Pillow: the quantisation alone, timed inside Python.
pil_gif=$("$py" - "$pic" <<'PY'
import sys, time
from PIL import Image
im = Image.open(sys.argv[1]); im.load()
ts = []
for _ in range(3):
    t = time.perf_counter(); im.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.NONE); ts.append(time.perf_counter() - t)
print(round(sorted(ts)[1] * 1000))
PY
)

ratio() { "$py" -c "import sys; a,b=float(sys.argv[1]),float(sys.argv[2]); print('%.2f' % (a/b) if b else 'n/a')" "$1" "$2"; }
echo "Picture: 2000 x 1500 photo-like (made by this script), median of 3 runs, milliseconds"
printf '%-44s %8s %12s\n' "task" "ms" "them / ours"
printf '%-44s %8s %12s\n' "GIF colour reduction, ours (octree, no dither)" "$ours_gif" "1.00"
printf '%-44s %8s %12s\n' "  Pillow quantize FASTOCTREE, no dither" "$pil_gif" "$(ratio "$pil_gif" "$ours_gif")"
printf '%-44s %8s %12s\n' "  ImageMagick -colors 256 +dither (process)" "$im_gif" "$(ratio "$im_gif" "$ours_gif")"
printf '%-44s %8s %12s\n' "  ImageMagick, less its read-only run" "$((im_gif - im_read))" "$(ratio $((im_gif - im_read)) "$ours_gif")"
printf '%-44s %8s %12s\n' "Targa RLE write, ours (32-bit, in memory)" "$ours_tga" "1.00"
printf '%-44s %8s %12s\n' "  ImageMagick -compress RLE (process)" "$im_tga" "$(ratio "$im_tga" "$ours_tga")"
printf '%-44s %8s %12s\n' "  ImageMagick, less its read-only run" "$((im_tga - im_read))" "$(ratio $((im_tga - im_read)) "$ours_tga")"
