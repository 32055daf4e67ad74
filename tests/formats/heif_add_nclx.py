#!/usr/bin/python3
"""Adds an nclx colour box (colour primaries and transfer characteristics, as H.273 numbers)
to the primary image of a HEIF file written by heif-enc, which writes none itself.

usage: heif_add_nclx.py IN OUT PRIMARIES TRANSFER
"""
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
prim, trc = int(sys.argv[3]), int(sys.argv[4])
def boxes(lo, hi):
    while lo + 8 <= hi:
        n, t = struct.unpack_from('>I4s', d, lo)
        yield t, lo, n
        lo += n
meta = next(b for b in boxes(0, len(d)) if b[0] == b'meta')
kids = {t: (o, n) for t, o, n in boxes(meta[1] + 12, meta[1] + meta[2])}
iprp = kids[b'iprp']
sub = {t: (o, n) for t, o, n in boxes(iprp[0] + 8, iprp[0] + iprp[1])}
ipco, ipma = sub[b'ipco'], sub[b'ipma']
count = sum(1 for _ in boxes(ipco[0] + 8, ipco[0] + ipco[1]))
primary = struct.unpack_from('>H', d, kids[b'pitm'][0] + 12)[0]
colr = struct.pack('>I4s4sHHHB', 19, b'colr', b'nclx', prim, trc, 6, 0x80)
# The primary's association list gains the new property (ipma version 0, 1-byte entries).
at = ipma[0] + 16
for _ in range(struct.unpack_from('>I', d, ipma[0] + 12)[0]):
    item, n = struct.unpack_from('>HB', d, at)
    if item == primary:
        d[at + 2] += 1
        d[at + 3 + n:at + 3 + n] = bytes([count + 1])
    at += 3 + n
d[ipco[0] + ipco[1]:ipco[0] + ipco[1]] = colr
grow = len(colr) + 1
for off, n in ((meta[1], meta[2]), iprp, ipco):
    struct.pack_into('>I', d, off, n + (grow if off != ipco[0] else len(colr)))
struct.pack_into('>I', d, ipma[0] + len(colr), ipma[1] + 1)
# Items stored in the file (construction method 0) now start `grow` bytes later.
il = kids[b'iloc'][0]
v = d[il + 8]
os_, ls, bs, xs = d[il + 12] >> 4, d[il + 12] & 15, d[il + 13] >> 4, d[il + 13] & 15
def rd(at, size):
    return int.from_bytes(d[at:at + size], 'big')
at = il + 14
items = rd(at, 4 if v == 2 else 2); at += 4 if v == 2 else 2
for _ in range(items):
    at += 4 if v == 2 else 2
    method = rd(at, 2) & 15 if v in (1, 2) else 0; at += 2 if v in (1, 2) else 0
    at += 2
    base_at = at; at += bs
    extents = rd(at, 2); at += 2
    for _ in range(extents):
        at += xs if v in (1, 2) else 0
        if method == 0:
            if bs: d[base_at:base_at + bs] = (rd(base_at, bs) + grow).to_bytes(bs, 'big')
            elif os_: d[at:at + os_] = (rd(at, os_) + grow).to_bytes(os_, 'big')
        at += os_ + ls
open(sys.argv[2], 'wb').write(d)
