#!/usr/bin/env bash
# Times, in one run, the fitted load (1600x900) of a 24-megapixel photo-like JPEG by
# quendra-convert with an Adobe RGB (1998) profile embedded, with that profile and an EXIF
# orientation of 6 (the turn runs on the fitted picture), and without either, against djpeg at
# the scale the viewer picks for it (1/4), the decode floor. The profile's cost is one littlecms
# transform made and run over the fitted picture.
# Usage: bench/colour_side_by_side.sh [build-dir] [runs]   (medians in ms, and ratios)
set -euo pipefail
build=${1:-build/default}
runs=${2:-15}
conv="$build/src/quendra-convert"
profile=/usr/share/color/icc/colord/AdobeRGB1998.icc  # Debian's colord-data
# In memory: quendra-convert syncs what it writes before renaming it into place (a save never
# leaves a half-written file), the reference tools do not, and this times the loads.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
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
exif = Image.Exif()
exif[0x0112] = 6  # stored on its side: shown turned a quarter clockwise
im.save(out + "/adobe-turned.jpg", quality=90, icc_profile=icc, exif=exif.tobytes())
PY

# The three commands take turns, so a busy neighbour on the machine weighs on all alike; each
# gets its median wall time and its median processor time (user + system), the steadier figure
# on a shared machine.
/usr/bin/python3 - "$runs" "$conv" "$work" <<'PY'
import os, resource, statistics, subprocess, sys, time
runs, conv, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
fit = ['--fit', '1600x900']
commands = {
    'quendra, Adobe RGB profile': [conv, work + '/adobe.jpg', work + '/a.bmp'] + fit,
    'quendra, no profile': [conv, work + '/plain.jpg', work + '/p.bmp'] + fit,
    'quendra, profile + EXIF 6': [conv, work + '/adobe-turned.jpg', work + '/t.bmp'] + fit,
    'djpeg -scale 1/4': ['djpeg', '-scale', '1/4', '-ppm', '-outfile', work + '/d.ppm',
                         work + '/adobe.jpg'],
}
wall = {k: [] for k in commands}
cpu = {k: [] for k in commands}
def used():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
for _ in range(runs):
    for name, cmd in commands.items():
        c0, t0 = used(), time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall[name].append((time.perf_counter() - t0) * 1000)
        cpu[name].append((used() - c0) * 1000)
med = lambda v: statistics.median(v)
d_wall, d_cpu = med(wall['djpeg -scale 1/4']), med(cpu['djpeg -scale 1/4'])
print('6000x4000 fitted into 1600x900, medians of %d runs, ms (and x djpeg)' % runs)
print('%-28s %14s %14s' % ('', 'wall', 'processor'))
for name in commands:
    w, c = med(wall[name]), med(cpu[name])
    print('%-28s %7.1f (%.2fx) %7.1f (%.2fx)' % (name, w, w / d_wall, c, c / d_cpu))
a, p = 'quendra, Adobe RGB profile', 'quendra, no profile'
print('%-28s %7.1f        %7.1f' % ('profile costs', med(wall[a]) - med(wall[p]),
                                      med(cpu[a]) - med(cpu[p])))
PY
