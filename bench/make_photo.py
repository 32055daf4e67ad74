#!/usr/bin/env python3
"""Writes the benchmarks' photo-like picture: 2000 x 1500, smooth colour waves with grain.

Usage: make_photo.py OUT.ppm [OUT.bmp]   (the BMP, written with Pillow when given, is the same
picture for programs that read BMP)."""
import math
import random
import sys

w, h = 2000, 1500
random.seed(1)
out = bytearray(b"P6\n%d %d\n255\n" % (w, h))
for y in range(h):
    fy = y / h
    for x in range(w):
        fx = x / w
        r = int(128 + 100 * math.sin(6.1 * fx + 2.3 * fy)) + random.randint(-6, 6)
        g = int(128 + 90 * math.cos(4.7 * fy - 1.9 * fx * fy)) + random.randint(-6, 6)
        b = int(110 + 80 * math.sin(3.3 * (fx + fy) + 1.0)) + random.randint(-6, 6)
        out += bytes((min(max(r, 0), 255), min(max(g, 0), 255), min(max(b, 0), 255)))
open(sys.argv[1], "wb").write(out)
if len(sys.argv) > 2:
    from PIL import Image
    Image.open(sys.argv[1]).save(sys.argv[2])
