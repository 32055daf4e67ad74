#!/usr/bin/env bash
# Times, in one run, the fitted load (1600x900) of a 24-megapixel photo-like JPEG by
# quendra-convert with an Adobe RGB (1998) profile embedded and without one, against djpeg at
# the scale the viewer picks for it (1/4), the decode floor. The profile's cost is one littlecms
# transform made and run over the fitted picture.
# Usage: bench/colour_side_by_side.sh [build-dir] [runs]   (medians in ms, and ratios)
set -euo pipefail
build=${1:-build/default}
runs=${2:-9}
conv="$build/src/quendra-convert"
profile=/usr/share/color/icc/colord/AdobeRGB1998.icc  # Debian's colord-data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$profile" <<'PY'
import sys
from PIL import Image, ImageFilter
out, icc = sys.argv[1], open(sys.argv[2], 'rb').read()
w, h = 6000, 4000
base = Image.effect_noise((w // 8, h // 8), 60).convert("RGB").resize((w, h), Image.BICUBIC)
noise = Image.effect_noise((w, h), 25).convert("RGB")
im = Image.blend(base, noise, 0.25).filter(ImageFilter.SMOOTH)
im.save(out + "/plain.jpg", quality=90)
im.save(out + "/adobe.jpg", quality=90, icc_profile=icc)
PY

median_ms() {  # command...
  local times=()
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
    times+=($(( (e - s) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}

# Interleaved, so a busy neighbour on the machine weighs on all three alike.
a=() p=() d=()
for _ in 1 2 3; do
  a+=("$(median_ms "$conv" "$work/adobe.jpg" "$work/a.bmp" --fit 1600x900)")
  p+=("$(median_ms "$conv" "$work/plain.jpg" "$work/p.bmp" --fit 1600x900)")
  d+=("$(median_ms djpeg -scale 1/4 -ppm -outfile "$work/d.ppm" "$work/adobe.jpg")")
done
mid() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
a=$(mid "${a[@]}"); p=$(mid "${p[@]}"); d=$(mid "${d[@]}")
printf '6000x4000 fitted into 1600x900, median ms of %d runs (middle of 3 rounds)\n' "$runs"
printf '  quendra, Adobe RGB profile  %5s  (%.2fx djpeg)\n' "$a" "$(echo "$a / $d" | bc -l)"
printf '  quendra, no profile         %5s  (%.2fx djpeg)\n' "$p" "$(echo "$p / $d" | bc -l)"
printf '  djpeg -scale 1/4            %5s\n' "$d"
printf '  profile costs               %5s ms\n' "$(( a - p ))"
