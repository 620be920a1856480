#!/usr/bin/env python3
"""Generates the built-in CMYK output profile (src/color/builtin_cmyk_profile.cpp).

The profile stands for DeviceCMYK: version 2.1, class "prtr", data space
CMYK, connection space Lab, description "Varnow CMYK". Its A2B0/1/2 tags
share one "mft1" table of 2 grid points per input whose 16 corners are the
measured colours of the FOGRA39 characterisation data (coated offset paper,
as shipped in Debian's icc-profiles-free), made relative to the paper white;
the input curves follow the measured single-ink ramps (dot gain), so tints
and greys land where the printing condition puts them. B2A0/1/2 share one
7x7x7 table back to CMYK (a plain under-colour split, used only if the
profile is ever a destination), and "gamt" is a 2-point table.

Usage: tools/gen_cmyk_profile.py [/usr/share/color/icc/FOGRA39L.ti3]
"""
import struct
import sys

TI3 = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/color/icc/FOGRA39L.ti3"
OUT = "src/color/builtin_cmyk_profile.cpp"
D50 = (0.9642, 1.0, 0.8249)


def read_ti3(path):
    rows, fields, inside = [], None, False
    for line in open(path):
        parts = line.split()
        if not parts:
            continue
        if parts[0] == "BEGIN_DATA_FORMAT":
            fields = []
            continue
        if fields is not None and fields == [] and parts[0] != "END_DATA_FORMAT" and not inside:
            fields = parts
            continue
        if parts[0] == "BEGIN_DATA":
            inside = True
            continue
        if parts[0] == "END_DATA":
            break
        if inside:
            rows.append(dict(zip(fields, map(float, parts))))
    return rows


def lab_to_xyz(lab, white):
    L, a, b = lab
    fy = (L + 16) / 116
    fx, fz = fy + a / 500, fy - b / 200
    def inv(f):
        return f ** 3 if f > 6 / 29 else 3 * (6 / 29) ** 2 * (f - 4 / 29)
    return tuple(inv(f) * w for f, w in zip((fx, fy, fz), white))


def xyz_to_lab(xyz, white):
    def f(t):
        return t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29
    fx, fy, fz = (f(v / w) for v, w in zip(xyz, white))
    return (116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz))


rows = read_ti3(TI3)
def measured(c, m, y, k):
    for r in rows:
        if (r["CMYK_C"], r["CMYK_M"], r["CMYK_Y"], r["CMYK_K"]) == (c, m, y, k):
            return (r["LAB_L"], r["LAB_A"], r["LAB_B"])
    raise SystemExit("no patch %s" % ((c, m, y, k),))

paper = lab_to_xyz(measured(0, 0, 0, 0), D50)
def relative(lab):
    """Media-relative Lab: the paper becomes the D50 white."""
    xyz = lab_to_xyz(lab, D50)
    return xyz_to_lab(tuple(v * d / p for v, d, p in zip(xyz, D50, paper)), D50)

# Corners, first input (C) slowest.
corners = []
for c in (0, 100):
    for m in (0, 100):
        for y in (0, 100):
            for k in (0, 100):
                corners.append(relative(measured(c, m, y, k)))

def lab_bytes(lab):
    L, a, b = lab
    clamp = lambda v: max(0, min(255, int(round(v))))
    return bytes((clamp(L * 255 / 100), clamp(a + 128), clamp(b + 128)))

# Input curves: for each ink, the position between its two corners whose
# lightness matches the measured ramp.
def ramp(channel):
    points = []
    for r in rows:
        inks = [r["CMYK_C"], r["CMYK_M"], r["CMYK_Y"], r["CMYK_K"]]
        if all(v == 0 for i, v in enumerate(inks) if i != channel):
            points.append((inks[channel], relative((r["LAB_L"], r["LAB_A"], r["LAB_B"]))[0]))
    points = sorted(set(points))
    lo, hi = points[0][1], points[-1][1]
    curve = []
    for i in range(256):
        x = i * 100 / 255
        for (x0, l0), (x1, l1) in zip(points, points[1:]):
            if x0 <= x <= x1:
                L = l0 + (l1 - l0) * (x - x0) / (x1 - x0 if x1 > x0 else 1)
                break
        t = (lo - L) / (lo - hi)
        curve.append(max(0, min(255, int(round(t * 255)))))
    curve[0], curve[255] = 0, 255
    return bytes(curve)

def mft1(inputs, outputs, grid, in_curves, clut, out_curves):
    identity = struct.pack(">9i", 65536, 0, 0, 0, 65536, 0, 0, 0, 65536)
    body = b"mft1" + bytes(4) + bytes((inputs, outputs, grid, 0)) + identity
    return body + b"".join(in_curves) + clut + b"".join(out_curves)

linear = bytes(range(256))
a2b = mft1(4, 3, 2, [ramp(i) for i in range(4)], b"".join(lab_bytes(c) for c in corners), [linear] * 3)

# Lab -> CMYK: through sRGB (D50-adapted primaries) and an under-colour split.
M = ((3.1339, -1.6169, -0.4906), (-0.9788, 1.9161, 0.0335), (0.0719, -0.2290, 1.4052))
def lab_to_cmyk(lab):
    x = lab_to_xyz(lab, D50)
    rgb = [max(0.0, min(1.0, sum(M[r][c] * x[c] for c in range(3)))) for r in range(3)]
    rgb = [v ** (1 / 2.2) for v in rgb]
    k = 1 - max(rgb)
    if k >= 1:
        return (0, 0, 0, 255)
    cmy = [(1 - v - k) / (1 - k) for v in rgb]
    return tuple(int(round(v * 255)) for v in cmy + [k])
b2a_clut = bytearray()
for i in range(7):
    for j in range(7):
        for l in range(7):
            b2a_clut += bytes(lab_to_cmyk((i * 100 / 6, j * 255 / 6 - 128, l * 255 / 6 - 128)))
b2a = mft1(3, 4, 7, [linear] * 3, bytes(b2a_clut), [linear] * 4)

identity = struct.pack(">9i", 65536, 0, 0, 0, 65536, 0, 0, 0, 65536)
ramp16 = struct.pack(">2H", 0, 65535)
gamt = (b"mft2" + bytes(4) + bytes((3, 1, 2, 0)) + identity + struct.pack(">2H", 2, 2) + ramp16 * 3 +
        bytes(2 * 8) + ramp16)

def text_description(text):
    ascii_part = text.encode() + b"\0"
    return (b"desc" + bytes(4) + struct.pack(">I", len(ascii_part)) + ascii_part + bytes(8) + bytes(3) + bytes(67))

def xyz_tag(xyz):
    return b"XYZ " + bytes(4) + struct.pack(">3i", *(int(round(v * 65536)) for v in xyz))

white = tuple(p for p in paper)
tags = [(b"desc", text_description("Varnow CMYK")), (b"wtpt", xyz_tag(white)), (b"A2B0", a2b), (b"A2B1", None),
        (b"A2B2", None), (b"B2A0", b2a), (b"B2A1", None), (b"B2A2", None), (b"gamt", gamt)]
table_size = 4 + 12 * len(tags)
offset = 128 + table_size
data, entries, last = b"", [], {}
for sig, body in tags:
    if body is None:  # shares the previous lut
        entries.append((sig, last["offset"], last["size"]))
        continue
    while (offset + len(data)) % 4:
        data += b"\0"
    at = offset + len(data)
    data += body
    entries.append((sig, at, len(body)))
    last = {"offset": at, "size": len(body)}
size = offset + len(data)
header = struct.pack(">I4sI4s4s4s6H4s4sI4s4s8sI3i4s16s28s", size, b"none", 0x02100000, b"prtr", b"CMYK", b"Lab ",
                     2024, 1, 1, 0, 0, 0, b"acsp", b"    ", 0, b"    ", b"    ", bytes(8), 1,
                     *(int(round(v * 65536)) for v in D50), b"    ", bytes(16), bytes(28))
assert len(header) == 128
table = struct.pack(">I", len(tags)) + b"".join(struct.pack(">4sII", *e) for e in entries)
profile = header + table + data

with open(OUT, "w") as out:
    out.write("// Generated by tools/gen_cmyk_profile.py from the FOGRA39 characterisation data.\n")
    out.write("// Do not edit: run the script again.\n")
    out.write('#include "color/builtin_profiles.h"\n\nnamespace vn::color {\n\n')
    out.write("const uint8_t kBuiltinCMYKProfile[%d] = {\n" % len(profile))
    for i in range(0, len(profile), 16):
        out.write("    " + ", ".join("0x%02x" % b for b in profile[i:i + 16]) + ",\n")
    out.write("};\nconst uint32_t kBuiltinCMYKProfileSize = %d;\n\n}  // namespace vn::color\n" % len(profile))
print("wrote %s (%d bytes)" % (OUT, len(profile)))
