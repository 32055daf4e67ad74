#!/usr/bin/python3
"""Draws the application icon: a framed picture (sky, sun, two hills) on a rounded tile. Writes
the scalable SVG and the PNG sizes of the hicolor theme from the same shapes.
Run: /usr/bin/python3 tools/make_icon.py data/icons"""
import os
import sys

from PIL import Image, ImageDraw

out = sys.argv[1] if len(sys.argv) > 1 else "data/icons"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# Shapes on a 256-unit canvas.
TILE = (16, 16, 240, 240, 40)          # x0, y0, x1, y1, corner radius
TILE_COLOUR = (38, 84, 164)
PICTURE = (44, 52, 212, 204, 10)       # the framed picture inside the tile
SKY_TOP, SKY_BOTTOM = (126, 192, 255), (214, 236, 255)
SUN = (164, 98, 24)                    # centre x, centre y, radius
SUN_COLOUR = (255, 204, 64)
FAR_HILL = [(44, 204), (44, 160), (96, 118), (150, 164), (212, 132), (212, 204)]
NEAR_HILL = [(44, 204), (44, 184), (110, 146), (170, 180), (212, 164), (212, 204)]
FAR_COLOUR, NEAR_COLOUR = (84, 160, 92), (40, 112, 60)


def hexcolour(c):
    return "#%02x%02x%02x" % c


def svg():
    x0, y0, x1, y1, r = TILE
    px0, py0, px1, py1, pr = PICTURE
    cx, cy, sr = SUN
    pts = lambda p: " ".join("%d,%d" % q for q in p)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{hexcolour(SKY_TOP)}"/>
      <stop offset="1" stop-color="{hexcolour(SKY_BOTTOM)}"/>
    </linearGradient>
    <clipPath id="picture">
      <rect x="{px0}" y="{py0}" width="{px1 - px0}" height="{py1 - py0}" rx="{pr}"/>
    </clipPath>
  </defs>
  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{r}" fill="{hexcolour(TILE_COLOUR)}"/>
  <g clip-path="url(#picture)">
    <rect x="{px0}" y="{py0}" width="{px1 - px0}" height="{py1 - py0}" fill="url(#sky)"/>
    <circle cx="{cx}" cy="{cy}" r="{sr}" fill="{hexcolour(SUN_COLOUR)}"/>
    <polygon points="{pts(FAR_HILL)}" fill="{hexcolour(FAR_COLOUR)}"/>
    <polygon points="{pts(NEAR_HILL)}" fill="{hexcolour(NEAR_COLOUR)}"/>
  </g>
</svg>
"""


def png(size):
    """Drawn at four times the size and reduced, for smooth edges."""
    k = size * 4 / 256
    big = size * 4
    s = lambda v: round(v * k)
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    x0, y0, x1, y1, r = TILE
    d.rounded_rectangle((s(x0), s(y0), s(x1) - 1, s(y1) - 1), radius=s(r), fill=TILE_COLOUR)
    px0, py0, px1, py1, pr = PICTURE
    scene = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    sd = ImageDraw.Draw(scene)
    for y in range(s(py0), s(py1)):
        t = (y - s(py0)) / max(1, s(py1) - s(py0) - 1)
        c = tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM))
        sd.line((s(px0), y, s(px1) - 1, y), fill=c)
    cx, cy, sr = SUN
    sd.ellipse((s(cx - sr), s(cy - sr), s(cx + sr), s(cy + sr)), fill=SUN_COLOUR)
    sd.polygon([(s(x), s(y)) for x, y in FAR_HILL], fill=FAR_COLOUR)
    sd.polygon([(s(x), s(y)) for x, y in NEAR_HILL], fill=NEAR_COLOUR)
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle(
        (s(px0), s(py0), s(px1) - 1, s(py1) - 1), radius=s(pr), fill=255)
    img.paste(scene, (0, 0), mask)
    return img.resize((size, size), Image.LANCZOS)


def main():
    scalable = os.path.join(out, "hicolor", "scalable", "apps")
    os.makedirs(scalable, exist_ok=True)
    with open(os.path.join(scalable, "quendra.svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        folder = os.path.join(out, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        png(size).save(os.path.join(folder, "quendra.png"), optimize=True)


main()
