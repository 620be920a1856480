#!/usr/bin/env python3
"""Writes seed inputs for fuzz/imaging_fuzz.cpp into build-fuzz/seeds/imaging:
a few paths (a square, a curved blob, a star, dashed polylines) under plain,
rotated and magnified matrices, filled and stroked. The layout of an input is
described at the top of fuzz/imaging_fuzz.cpp."""
import math
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "build-fuzz/seeds/imaging"
os.makedirs(out, exist_ok=True)


def shifted(value):
    """A 16.16 value as int16 << shift (3 bytes)."""
    raw = int(round(value * 65536))
    shift = 0
    while not -32768 <= raw >> shift <= 32767:
        shift += 1
    return struct.pack("<hB", raw >> shift, shift)


def point(kind, x, y):
    raw = [int(round(v * 65536)) for v in (x, y)]
    shift = 0
    while any(not -32768 <= r >> shift <= 32767 for r in raw):
        shift += 1
    return struct.pack("<Bhh", kind | (shift << 3), raw[0] >> shift, raw[1] >> shift)


def seed(name, flags, matrix, clip, width, miter, dashes, phase, points, square_caps=False):
    data = bytes([flags])
    data += b"".join(shifted(v) for v in matrix)
    data += struct.pack("<bbBB", *clip)
    data += shifted(width) + bytes([miter, len(dashes) | (4 if square_caps else 0)])
    data += b"".join(shifted(d) for d in (dashes + [0, 0, 0])[:3])
    data += shifted(phase)
    data += b"".join(point(*p) for p in points)
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


square = [(0, 4, 4), (1, 40, 6), (1, 38, 40), (1, 5, 36), (3, 0, 0)]
blob = [(0, 10, 30), (2, 10, 0), (2, 50, 0), (2, 50, 30), (2, 50, 60), (2, 10, 60), (2, 10, 30), (3, 0, 0)]
star = [(0 if i == 0 else 1, 30 + 25 * math.cos(i * 4 * math.pi / 5), 30 + 25 * math.sin(i * 4 * math.pi / 5))
        for i in range(5)] + [(3, 0, 0)]
zigzag = [(0 if i == 0 else 1, 4 + 6 * i, 10 + 30 * (i % 2)) for i in range(9)]
identity = [1, 0, 0, 1, -64, -64]
rotated = [0.8, 0.6, -0.6, 0.8, -50, -70]
magnified = [40, 0, 0, -40, -900, 700]
clip = (-64, -64, 64, 64)
seed("square-fill", 0b00001010, identity, clip, 1, 10, [], 0, square)
seed("blob-evenodd-general", 0b00011011, rotated, clip, 1, 10, [], 0, blob)
seed("star-stroke-miter", 0b00000100, identity, clip, 3, 10, [], 0, star)
seed("star-stroke-round", 0b10100110, rotated, clip, 5, 4, [], 0, star)
seed("zigzag-dashed", 0b11000100, identity, clip, 2, 1, [3, 2, 0], 1.5, zigzag)
seed("blob-magnified-dashed", 0b00001110, magnified, (-40, -40, 30, 30), 0.1, 10, [0.5, 0.25], 0, blob, True)
seed("square-wide", 0b00100100, identity, clip, 500, 10, [], 0, square)
