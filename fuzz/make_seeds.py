#!/usr/bin/python3
"""Seeds for the fuzz targets: the samples, the shared corpus, and large files (at least 32 MB
for BMP and TIFF) so that run-length, strip and tile classes that need megabytes are reachable.

usage: make_seeds.py OUT_DIR   (makes OUT_DIR/<target>/ for every target)
"""
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")
CORPUS = os.path.join(HERE, "..", "..", "shared", "testdata")
TARGETS = {"bmp": ["bmp"], "gif": ["gif"], "jpeg": ["jpg", "jpeg"], "jpeg2000": ["jp2", "j2k"],
           "pcx": ["pcx"], "png": ["png"], "targa": ["tga"], "tiff": ["tif", "tiff"],
           "emf": ["emf"], "webp": ["webp"], "avif": ["avif"], "heif": ["heic", "heif"],
           "jxl": ["jxl"]}
# The pipeline's first byte picks the extension, in this order.
PIPELINE_EXT = ["bmp", "jpg", "png", "gif", "tga", "jp2", "pcx", "tif", "emf", "webp", "avif", "heic",
                "jxl"]


def bmp_header(width, height, bits, compression, data_size, palette):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, data_size,
                       2835, 2835, len(palette) // 4, 0)
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + data_size, 0, 0, off) + info + palette


def big_bmp_rgb():
    w, h = 4096, 2800  # 34 MB of 24-bit rows
    row = bytes((x * 7) & 255 for x in range(w * 3))
    return bmp_header(w, h, 24, 0, len(row) * h, b"") + row * h


def big_bmp_rle(rle4):
    # One 16 x 16 picture whose first row holds millions of runs and deltas (34 MB).
    palette = b"".join(struct.pack("<BBBB", i, 255 - i, i // 2, 0) for i in range(16 if rle4 else 256))
    runs = (b"\xff\x11" * 4 + b"\x00\x02\xff\x00") * ((34 << 20) // 12)
    data = runs + b"\x00\x00\x05\x22\x00\x01"
    return bmp_header(16, 16, 4 if rle4 else 8, 2 if rle4 else 1, len(data), palette) + data


def big_tiffs(out):
    raw = os.path.join(out, "big-strips.tif")
    subprocess.run(["convert", "-size", "4096x2800", "plasma:", "-depth", "8", "-compress", "none",
                    raw], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    tiled = os.path.join(out, "big-tiles.tif")
    subprocess.run(["tiffcp", "-t", "-w", "16", "-l", "16", raw, tiled], check=True)
    return [raw, tiled]


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def small_webp_avif(out):
    """Small files of each kind the WebP and AVIF readers take, made by the real encoders from
    the round sample (which has alpha) cut down to 48 x 36."""
    tmp = os.path.join(out, "tmp")
    os.makedirs(tmp, exist_ok=True)
    alpha, opaque = os.path.join(tmp, "alpha.png"), os.path.join(tmp, "opaque.png")
    run("convert", os.path.join(SAMPLES, "round.png"), "-resize", "48x36!", alpha)
    run("convert", alpha, "-background", "white", "-flatten", opaque)
    w = os.path.join(out, "webp")
    run("cwebp", "-quiet", "-q", "50", opaque, "-o", os.path.join(w, "lossy.webp"))
    run("cwebp", "-quiet", "-q", "50", alpha, "-o", os.path.join(w, "lossy-alpha.webp"))
    run("cwebp", "-quiet", "-lossless", alpha, "-o", os.path.join(w, "lossless-alpha.webp"))
    run("img2webp", "-loop", "0", "-lossy", opaque, "-d", "100", "-lossless", alpha, "-o",
        os.path.join(w, "animated.webp"))
    exif = b"Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0"
    with open(os.path.join(tmp, "exif"), "wb") as f:
        f.write(exif)
    run("webpmux", "-set", "exif", os.path.join(tmp, "exif"), os.path.join(w, "lossy.webp"), "-o",
        os.path.join(w, "exif.webp"))
    a = os.path.join(out, "avif")
    run("avifenc", "-s", "10", "--min", "20", "--max", "40", opaque, os.path.join(a, "8bit.avif"))
    run("avifenc", "-s", "10", "-d", "10", "-y", "420", alpha, os.path.join(a, "10bit-alpha.avif"))
    run("avifenc", "-s", "10", "--lossless", opaque, os.path.join(a, "lossless.avif"))
    run("avifenc", "-s", "10", "--irot", "1", "--imir", "0", "--cicp", "12/13/6", opaque,
        os.path.join(a, "turned-p3.avif"))
    shutil.rmtree(tmp)


def encoded_seeds(out):
    """Small HEIF and JPEG XL files made by the real encoders from a sample: lossy, lossless,
    with alpha, and (JPEG XL) an animation and a turned picture."""
    src = os.path.join(SAMPLES, "round.png")
    tmp = os.path.join(out, "tmp")
    os.makedirs(tmp, exist_ok=True)
    small = os.path.join(tmp, "small.png")
    subprocess.run(["convert", src, "-resize", "48x48", small], check=True)
    anim = os.path.join(tmp, "anim.gif")
    subprocess.run(["convert", "-size", "24x16", "xc:red", "xc:blue", "-loop", "0", anim],
                   check=True)
    runs = {
        "heif": [["heif-enc", "-q", "50", small, "-o", "{}/lossy.heic"],
                 ["heif-enc", "-L", "-p", "chroma=444", "--matrix_coefficients=0", small, "-o",
                  "{}/lossless.heic"],
                 ["heif-enc", "-q", "50", "--no-alpha", src, "-o", "{}/big.heic"]],
        "jxl": [["cjxl", small, "{}/lossless.jxl", "-d", "0"],
                ["cjxl", small, "{}/lossy.jxl", "-d", "2"],
                ["cjxl", anim, "{}/anim.jxl"],
                ["cjxl", os.path.join(SAMPLES, "portrait.jpg"), "{}/jpeg.jxl"]],
    }
    for target, commands in runs.items():
        for cmd in commands:
            subprocess.run([a.format(os.path.join(out, target)) for a in cmd], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(tmp)


def copy_matching(target_dir, exts, max_size):
    n = 0
    for root in (SAMPLES, CORPUS):
        for dirpath, _, names in os.walk(root):
            for name in names:
                if name.rsplit(".", 1)[-1].lower() in exts and \
                        os.path.getsize(os.path.join(dirpath, name)) <= max_size:
                    shutil.copy(os.path.join(dirpath, name), os.path.join(target_dir, f"{n}-{name}"))
                    n += 1


def main():
    # --small: only seeds up to 256 KB, for runs that want many executions a second.
    small = "--small" in sys.argv[2:]
    out = sys.argv[1]
    for target, exts in TARGETS.items():
        d = os.path.join(out, target)
        os.makedirs(d, exist_ok=True)
        copy_matching(d, exts, 256 << 10 if small else 1 << 40)
    if not small:
        with open(os.path.join(out, "bmp", "big-rgb.bmp"), "wb") as f:
            f.write(big_bmp_rgb())
        for rle4 in (False, True):
            with open(os.path.join(out, "bmp", f"big-rle{4 if rle4 else 8}.bmp"), "wb") as f:
                f.write(big_bmp_rle(rle4))
        big_tiffs(os.path.join(out, "tiff"))
    small_webp_avif(out)
    encoded_seeds(out)
    # The pipeline gets every reader's seeds behind its 5-byte prefix (extension, client size).
    pipe = os.path.join(out, "pipeline")
    os.makedirs(pipe, exist_ok=True)
    for target, exts in TARGETS.items():
        ext = {"jpg": "jpg", "tif": "tif"}.get(exts[0], exts[0])
        if ext not in PIPELINE_EXT:
            continue
        prefix = bytes([PIPELINE_EXT.index(ext), 0x20, 0x03, 0x58, 0x02])  # 800 x 600
        src = os.path.join(out, target)
        for name in sorted(os.listdir(src)):
            with open(os.path.join(src, name), "rb") as f, \
                    open(os.path.join(pipe, f"{target}-{name}"), "wb") as g:
                g.write(prefix + f.read())
    # The metadata target: an odd first byte then an EXIF block, an even one then a profile.
    meta = os.path.join(out, "metadata")
    os.makedirs(meta, exist_ok=True)
    exif = b"II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0"
    with open(os.path.join(meta, "exif-6"), "wb") as f:
        f.write(b"\x01Exif\0\0" + exif)
    for dirpath, _, names in os.walk("/usr/share/color/icc"):
        for name in sorted(names)[:12]:
            with open(os.path.join(dirpath, name), "rb") as f, \
                    open(os.path.join(meta, "icc-" + name), "wb") as g:
                g.write(b"\x00" + f.read())
    # The writers' target makes a picture of any bytes: a few of each size class.
    os.makedirs(os.path.join(out, "writers"), exist_ok=True)
    for i, n in enumerate((16, 4096) if small else (16, 4096, 1 << 20)):
        with open(os.path.join(out, "writers", f"random-{n}"), "wb") as f:
            f.write(os.urandom(n))


if __name__ == "__main__":
    main()
