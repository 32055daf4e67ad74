#!/usr/bin/env bash
# Time and peak memory of a fitted load (1600x900) of hostile files by quendra-convert, beside
# the tool a user would otherwise reach for (ImageMagick's convert, djpeg, opj_decompress). Each
# run is limited to 300 s and 4 GiB of address space so a runaway tool cannot take the machine.
# Usage: bench/hostile_side_by_side.sh [build-dir]
# (prints wall and CPU seconds, peak RSS in MB and the exit status; 124 is the time limit)
set -euo pipefail
build=${1:-build/default}
conv="$(realpath "$build/src/quendra-convert")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

/usr/bin/python3 - <<'PY'
import struct, zlib

def chunk(t, b):
    return struct.pack(">I", len(b)) + t + b + struct.pack(">I", zlib.crc32(t + b))

# BMP of 64 bytes claiming 16384 x 16384 24-bit.
bmp = bytearray(64); bmp[0:2] = b"BM"
struct.pack_into("<IIIIiiHH", bmp, 2, 64, 0, 54, 40, 16384, 16384, 1, 24)
open("lie.bmp", "wb").write(bmp)
# PNG claiming 16384 x 16384 RGBA with 200 bytes of data.
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16384, 16384, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(bytes(200))) + chunk(b"IEND", b"")
open("lie.png", "wb").write(png)
# PNG bomb just under the pixel limit: 16000 x 16000 RGBA, all rows zero, deflated.
row = bytes(1 + 16000 * 4)
z = zlib.compressobj(9)
data = b"".join(z.compress(row) for _ in range(16000)) + z.flush()
open("bomb.png", "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16000, 16000, 8, 6, 0, 0, 0)) + chunk(b"IDAT", data) + chunk(b"IEND", b""))
# TIFF of 122 bytes claiming 16384 x 16384 RGB in one strip beyond the end.
entries = [(256, 4, 16384), (257, 4, 16384), (258, 3, 8), (259, 3, 1), (262, 3, 2), (273, 4, 4096),
           (277, 3, 3), (278, 4, 16384), (279, 4, 16384 * 16384 * 3)]
tif = b"II*\x00" + struct.pack("<IH", 8, len(entries))
for tag, typ, val in entries:
    tif += struct.pack("<HHI", tag, typ, 1) + (struct.pack("<HH", val, 0) if typ == 3 else struct.pack("<I", val))
open("lie.tif", "wb").write(tif + b"\0\0\0\0")
# Targa of 1 x 1 in a sparse file of 3 GiB.
with open("sparse.tga", "wb") as f:
    f.write(bytes([0, 0, 2]) + bytes(9) + struct.pack("<HHBB", 1, 1, 24, 0x20) + b"\1\2\3")
    f.truncate(3 << 30)
# Progressive JPEG of 16384 x 16384 grey with 999 empty scans (10 KB).
j = b"\xff\xd8\xff\xdb\x00\x43\x00" + bytes([1] * 64)
j += b"\xff\xc2\x00\x0b\x08" + struct.pack(">HH", 16384, 16384) + b"\x01\x01\x11\x00"
j += b"\xff\xc4\x00\x14\x00\x01" + bytes(15) + b"\x00"
j += b"\xff\xda\x00\x08\x01\x01\x00\x00\x00\x00" * 999 + b"\xff\xd9"
open("scans.jpg", "wb").write(j)
# EMF of 544 bytes whose frame is 4609 x 39937 and whose two records stretch a 1 x 1 and a
# 64 x 1 DIB over all of it: within the drawn-pixel budget, so it is drawn, not refused.
W, H = 4609, 39937
def rec(t, body): return struct.pack("<II", t, 8 + len(body)) + body
head = struct.pack("<iiii", 0, 0, W - 1, H - 1) + struct.pack("<iiii", 0, 0, W * 26, H * 26) + b" EMF"
head += struct.pack("<IIIHHIIIiiii", 0x10000, 0, 0, 1, 0, 0, 0, 0, 1024, 768, 320, 240)
def stretch(width):
    bmi = struct.pack("<IiiHHIIiiII", 40, width, 1, 1, 24, 0, 0, 0, 0, 0, 0)
    bits = bytes((i * 37) & 255 for i in range((width * 3 + 3) // 4 * 4))
    at = 8 + 16 + 4 * 14
    body = struct.pack("<iiii", 0, 0, W - 1, H - 1) + struct.pack("<iiiiii", 0, 0, 0, 0, width, 1)
    body += struct.pack("<IIIIII", at, len(bmi), at + len(bmi), len(bits), 0, 0x00CC0020)
    return rec(81, body + struct.pack("<ii", W, H) + bmi + bits)
emf = rec(1, head) + stretch(1) + stretch(64) + rec(14, struct.pack("<III", 0, 16, 20))
open("stretch.emf", "wb").write(emf)
PY
# JPEG 2000 whose palette expands one 4096 x 4096 component into 200.
/usr/bin/python3 -c "
import sys
sys.stdout.buffer.write(b'P5\n4096 4096\n255\n' + bytes(i % 7 for i in range(4096 * 4096)))" > g.pgm
opj_compress -n 1 -i g.pgm -o g.j2k >/dev/null
/usr/bin/python3 - <<'PY'
import struct
def box(t, b): return struct.pack(">I", 8 + len(b)) + t + b
cs = open("g.j2k", "rb").read()
n = 200
pclr = struct.pack(">HB", 256, n) + bytes([7] * n) + b"".join(bytes([e] * n) for e in range(256))
cmap = b"".join(struct.pack(">HBB", 0, 1, c) for c in range(n))
hdr = box(b"ihdr", struct.pack(">IIHBBBB", 4096, 4096, 1, 7, 7, 0, 0)) + box(b"colr", bytes([1, 0, 0, 0, 0, 0, 16]))
f = b"\0\0\0\x0cjP  \r\n\x87\n" + box(b"ftyp", b"jp2 \0\0\0\0jp2 ") + box(b"jp2h", hdr + box(b"pclr", pclr) + box(b"cmap", cmap)) + box(b"jp2c", cs)
open("palette.jp2", "wb").write(f)
PY

measure() {  # label command...
  (ulimit -v 4194304; /usr/bin/time -f '%e %U %S %M %x' -o "$work/t" timeout 300 "${@:2}" >/dev/null 2>&1) || true
  read -r secs user sys kb status < <(tail -1 "$work/t")
  printf '  %-16s %7s s wall %7s s cpu %6s MB  exit %s\n' "$1" "$secs" \
    "$(echo "$user + $sys" | bc)" "$(( kb / 1024 ))" "$status"
}

for f in lie.bmp lie.png bomb.png lie.tif sparse.tga scans.jpg palette.jp2 stretch.emf; do
  echo "$f ($(stat -c %s "$f") bytes)"
  measure quendra "$conv" "$f" out.bmp --fit 1600x900
  case $f in
    *.jpg) measure djpeg djpeg -scale 1/8 -outfile d.ppm "$f" ;;
    *.jp2) measure opj_decompress opj_decompress -i "$f" -o d.ppm ;;
    *) measure convert convert "$f" -resize 1600x900 c.bmp ;;
  esac
done
