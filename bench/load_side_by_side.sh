#!/usr/bin/env bash
# Times, in one run, a fitted load of photo-like JPEGs into 1600x900 by quendra-convert against
# djpeg at the scale the viewer picks (the decode floor), vipsthumbnail to the same box and
# Pillow's draft-and-resize; an unfitted 24-megapixel load against djpeg -scale 1/1; and a fitted
# load of a 12-megapixel WebP and AVIF against a full decode by dwebp and by avifdec -j 2 (to
# y4m: the AV1 decode alone, no colour conversion).
# Usage: bench/load_side_by_side.sh [build-dir]   (prints medians of 5 runs, in ms, and ratios)
set -euo pipefail
build=${1:-build/default}
conv="$build/src/quendra-convert"
# In memory: quendra-convert syncs what it writes before renaming it into place (a save never
# leaves a half-written file), the reference tools do not, and this times the loads.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

make_photo() {  # w h out
  /usr/bin/python3 - "$@" <<'PY'
import sys
from PIL import Image, ImageFilter
w, h, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
base = Image.effect_noise((w // 8, h // 8), 60).convert("RGB").resize((w, h), Image.BICUBIC)
noise = Image.effect_noise((w, h), 25).convert("RGB")
Image.blend(base, noise, 0.25).filter(ImageFilter.SMOOTH).save(out, quality=90)
PY
}

median_ms() {  # command...
  local times=()
  for _ in 1 2 3 4 5; do
    local s e
    s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
    times+=($(( (e - s) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}

printf '%-12s %6s %10s %10s %10s %10s %8s %8s\n' picture scale quendra djpeg vips pillow q/djpeg q/vips
for size in 6000x4000 4000x3000 1920x1080; do
  w=${size%x*}; h=${size#*x}
  jpg="$work/$size.jpg"; make_photo "$w" "$h" "$jpg"
  # The scale the viewer picks for a 1600x900 area: the picture's larger side over the larger
  # side of its fitted rectangle.
  if [ $(( w * 900 )) -gt $(( h * 1600 )) ]; then fw=1600; fh=$(( 1600 * h / w )); else fh=900; fw=$(( 900 * w / h )); fi
  ratio=$(( (w > h ? w : h) / (fw > fh ? fw : fh) ))
  if [ $ratio -ge 8 ]; then s=1/8; elif [ $ratio -ge 4 ]; then s=1/4; elif [ $ratio -ge 2 ]; then s=1/2; else s=1/1; fi
  q=$(median_ms "$conv" "$jpg" "$work/out.bmp" --fit 1600x900)
  d=$(median_ms djpeg -scale "$s" -ppm -outfile "$work/d.ppm" "$jpg")
  v=$(median_ms vipsthumbnail "$jpg" --size 1600x900 -o "$work/v.bmp")
  p=$(median_ms /usr/bin/python3 -c "
from PIL import Image
im = Image.open('$jpg'); im.draft('RGB', (1600, 900)); im.thumbnail((1600, 900), Image.BOX); im.save('$work/p.bmp')")
  printf '%-12s %6s %10s %10s %10s %10s %8.2f %8.2f\n' "$size" "$s" "$q" "$d" "$v" "$p" \
    "$(echo "$q / $d" | bc -l)" "$(echo "$q / $v" | bc -l)"
done
q=$(median_ms "$conv" "$work/6000x4000.jpg" "$work/full.bmp")
d=$(median_ms djpeg -scale 1/1 -ppm -outfile "$work/dfull.ppm" "$work/6000x4000.jpg")
printf 'unfitted 6000x4000: quendra %s ms, djpeg %s ms, ratio %.2f\n' "$q" "$d" "$(echo "$q / $d" | bc -l)"
/usr/bin/time -f 'peak RSS of a fitted load: %M KiB' "$conv" "$work/6000x4000.jpg" "$work/out.bmp" --fit 1600x900
convert "$work/4000x3000.jpg" "$work/12mp.png"
cwebp -quiet -q 90 "$work/12mp.png" -o "$work/12mp.webp"
avifenc -j 2 -s 8 --min 20 --max 30 -y 420 "$work/12mp.png" "$work/12mp.avif" >/dev/null
q=$(median_ms "$conv" "$work/12mp.webp" "$work/out.bmp" --fit 1600x900)
d=$(median_ms dwebp "$work/12mp.webp")  # decodes, writes nothing
printf 'fitted 4000x3000 WebP: quendra %s ms, dwebp (full decode) %s ms, ratio %.2f\n' "$q" "$d" \
  "$(echo "$q / $d" | bc -l)"
q=$(median_ms "$conv" "$work/12mp.avif" "$work/out.bmp" --fit 1600x900)
d=$(median_ms avifdec -j 2 "$work/12mp.avif" "$work/d.y4m")
printf 'fitted 4000x3000 AVIF: quendra %s ms, avifdec -j 2 %s ms, ratio %.2f\n' "$q" "$d" \
  "$(echo "$q / $d" | bc -l)"

# HEIC and JPEG XL have no reduced-scale decode: a fitted load of a 12-megapixel file against
# the reference decoders' full decode with their default threads (heif-convert writing its
# cheapest output, raw Y4M; djxl decoding without writing anything).
if command -v heif-enc >/dev/null && command -v cjxl >/dev/null; then
  png="$work/4000x3000.png"
  /usr/bin/python3 -c "from PIL import Image; Image.open('$work/4000x3000.jpg').save('$png')"
  heif-enc -q 80 "$png" -o "$work/photo.heic" >/dev/null
  cjxl "$png" "$work/photo.jxl" -d 1 >/dev/null 2>&1
  q=$(median_ms "$conv" "$work/photo.heic" "$work/out.bmp" --fit 1600x900)
  r=$(median_ms heif-convert "$work/photo.heic" "$work/ref.y4m")
  printf 'HEIC 4000x3000 fitted: quendra %s ms, heif-convert %s ms, ratio %.2f\n' "$q" "$r" \
    "$(echo "$q / $r" | bc -l)"
  q=$(median_ms "$conv" "$work/photo.jxl" "$work/out.bmp" --fit 1600x900)
  r=$(median_ms djxl "$work/photo.jxl")
  printf 'JPEG XL 4000x3000 fitted: quendra %s ms, djxl %s ms, ratio %.2f\n' "$q" "$r" \
    "$(echo "$q / $r" | bc -l)"
fi
