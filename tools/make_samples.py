#!/usr/bin/python3
"""Makes the bundled samples/ folder: small pictures drawn here, in several of the formats the
viewer reads and at several sizes. Run: /usr/bin/python3 tools/make_samples.py samples"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter

out = sys.argv[1] if len(sys.argv) > 1 else "samples"
os.makedirs(out, exist_ok=True)


def landscape(w, h, seed):
    """A photo-like scene: sky gradient, sun, layered hills, soft noise."""
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        t = y / h
        for x in range(w):
            r = int(40 + 150 * t + 30 * math.sin((x + seed) / 37.0))
            g = int(90 + 110 * t)
            b = int(200 - 60 * t)
            px[x, y] = (max(0, min(255, r)), g, b)
    d = ImageDraw.Draw(img)
    d.ellipse((w * 0.65, h * 0.1, w * 0.8, h * 0.1 + w * 0.15), fill=(255, 230, 120))
    for k, colour in enumerate([(60, 120, 60), (40, 95, 45), (25, 70, 35)]):
        pts = [(0, h)]
        for x in range(0, w + 20, 20):
            pts.append((x, h * (0.55 + 0.12 * k) + h * 0.06 * math.sin(x / (70.0 + 30 * k) + seed + k)))
        pts.append((w, h))
        d.polygon(pts, fill=colour)
    return img.filter(ImageFilter.GaussianBlur(1.2))


def pattern(w, h):
    img = Image.new("RGB", (w, h), (255, 255, 255))
    d = ImageDraw.Draw(img)
    for i in range(0, w, 24):
        d.line((i, 0, w - i, h), fill=(200, 40 + i % 200, 90), width=3)
    d.rectangle((w // 4, h // 4, 3 * w // 4, 3 * h // 4), outline=(20, 20, 120), width=6)
    return img


landscape(1600, 1200, 1).save(os.path.join(out, "hills.jpg"), quality=85)
landscape(900, 1200, 2).save(os.path.join(out, "portrait.jpg"), quality=85)
rgba = landscape(640, 480, 3).convert("RGBA")
mask = Image.new("L", rgba.size, 0)
ImageDraw.Draw(mask).ellipse((40, 40, 600, 440), fill=255)
rgba.putalpha(mask)
rgba.save(os.path.join(out, "round.png"))
pattern(400, 300).quantize(64).save(os.path.join(out, "lines.gif"))
pattern(400, 300).quantize(200).save(os.path.join(out, "lines-8bit.bmp"))
landscape(320, 240, 4).save(os.path.join(out, "small.bmp"))
landscape(500, 375, 5).save(os.path.join(out, "valley.tga"), compression="tga_rle")
landscape(600, 400, 6).save(os.path.join(out, "meadow.tif"), compression="tiff_deflate")
landscape(480, 360, 7).save(os.path.join(out, "dusk.pcx"))
landscape(640, 480, 8).save(os.path.join(out, "dawn.jp2"), quality_mode="rates", quality_layers=[20])
