#!/usr/bin/env python3
"""Generates the built-in CMYK output profile (src/color/builtin_cmyk_profile.cpp).

The profile stands for DeviceCMYK: version 2.1, class "prtr", data space
CMYK, connection space Lab, description "Varnow CMYK". Its A2B0/1/2 tags
share one "mft1" table of 2 grid points per input: 16 corners and four
input curves, fitted by least squares to a printing condition's published
characterisation data (CGATS TR 003, SWOP on grade 3 coated paper, as
shipped in Debian's icc-profiles-free: the condition behind the CMYK look
users know from other viewers), taken media-relative and with black-point
compensation so that paper is white and the four-ink black is black on
screen. Paper and black are pinned; the fit prints its error over all
patches. B2A0/1/2 share one 7x7x7 table back to CMYK (a plain under-colour
split, used only if the profile is ever a destination), and "gamt" is a
2-point table.

Usage: tools/gen_cmyk_profile.py [/usr/share/color/icc/TR003.ti3]   (about a minute)
"""
import struct
import sys

TI3 = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/color/icc/TR003.ti3"
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

# Media-relative colours (the paper becomes the D50 white) with black-point
# compensation (the four-ink black becomes L* 0), as viewers show CMYK on
# screen: paper white, the deepest black black.
paper = lab_to_xyz(measured(0, 0, 0, 0), D50)
def media_relative(lab):
    return tuple(v * d / p for v, d, p in zip(lab_to_xyz(lab, D50), D50, paper))
black = media_relative(measured(100, 100, 100, 100))
def target(lab):
    xyz = media_relative(lab)
    return xyz_to_lab(tuple((v - b) * d / (d - b) for v, b, d in zip(xyz, black, D50)), D50)

patches = [((r["CMYK_C"] / 100, r["CMYK_M"] / 100, r["CMYK_Y"] / 100, r["CMYK_K"] / 100),
            target((r["LAB_L"], r["LAB_A"], r["LAB_B"]))) for r in rows]
# The solids and their overprints weigh most: they are the corners.
weights = [20.0 if all(v in (0.0, 1.0) for v in inks) else 1.0 for inks, _ in patches]
levels = [sorted({inks[i] for inks, _ in patches}) for i in range(4)]

# The engine's model: per-ink input curves, then simplex interpolation
# between the 16 corners of a 2-point grid (first input slowest).
def simplex_weights(x):
    order = sorted(range(4), key=lambda i: -x[i])
    w = [0.0] * 16
    corner, previous = 0, 1.0
    for i in order:
        w[corner] += previous - x[i]
        previous = x[i]
        corner |= 8 >> i
    w[corner] += previous
    return w

def curve_value(knots, i, v):
    xs = levels[i]
    for j in range(len(xs) - 1):
        if xs[j] <= v <= xs[j + 1]:
            t = (v - xs[j]) / (xs[j + 1] - xs[j])
            return knots[i][j] + (knots[i][j + 1] - knots[i][j]) * t
    return knots[i][-1]

def predict(corners, x):
    w = simplex_weights(x)
    return [sum(w[c] * corners[c][k] for c in range(16)) for k in range(3)]

def error(corners, x, lab):
    p = predict(corners, x)
    return sum((a - b) ** 2 for a, b in zip(p, lab))

def solve(matrix, vector):
    """Gaussian elimination with partial pivoting."""
    n = len(vector)
    a = [row[:] + [vector[i]] for i, row in enumerate(matrix)]
    for col in range(n):
        pivot = max(range(col, n), key=lambda r: abs(a[r][col]))
        a[col], a[pivot] = a[pivot], a[col]
        if abs(a[col][col]) < 1e-12:
            continue
        for r in range(n):
            if r != col:
                f = a[r][col] / a[col][col]
                a[r] = [x - f * y for x, y in zip(a[r], a[col])]
    return [a[i][n] / a[i][i] if abs(a[i][i]) > 1e-12 else 0.0 for i in range(n)]

# Paper stays exactly white and the four-ink black exactly black; the other
# corners are fitted.
FIXED = {0: (100.0, 0.0, 0.0), 15: (0.0, 0.0, 0.0)}
FREE = [c for c in range(16) if c not in FIXED]

def fit_corners(knots):
    n = len(FREE)
    normal = [[0.0] * n for _ in range(n)]
    rhs = [[0.0] * n for _ in range(3)]
    for (inks, lab), weight in zip(patches, weights):
        w = simplex_weights([curve_value(knots, i, inks[i]) for i in range(4)])
        rest = [lab[k] - sum(w[c] * FIXED[c][k] for c in FIXED) for k in range(3)]
        for a, ca in enumerate(FREE):
            if w[ca] == 0:
                continue
            for b, cb in enumerate(FREE):
                normal[a][b] += weight * w[ca] * w[cb]
            for k in range(3):
                rhs[k][a] += weight * w[ca] * rest[k]
    # A little pull toward 0 keeps corners no patch reaches defined.
    for a in range(n):
        normal[a][a] += 1e-6
    columns = [solve(normal, rhs[k]) for k in range(3)]
    corners = [list(FIXED[c]) if c in FIXED else None for c in range(16)]
    for a, c in enumerate(FREE):
        corners[c] = [columns[k][a] for k in range(3)]
    return corners

def fit_curves(knots, corners):
    for i in range(4):
        for j in range(1, len(levels[i]) - 1):
            v = levels[i][j]
            members = [(inks, lab, wt) for (inks, lab), wt in zip(patches, weights) if inks[i] == v]
            def cost(t):
                total = 0.0
                for inks, lab, wt in members:
                    x = [t if n == i else curve_value(knots, n, inks[n]) for n in range(4)]
                    total += wt * error(corners, x, lab)
                return total
            best = min((cost(t / 100), t / 100) for t in range(101))[1]
            lo, hi = max(0.0, best - 0.01), min(1.0, best + 0.01)
            knots[i][j] = min((cost(lo + (hi - lo) * s / 20), lo + (hi - lo) * s / 20) for s in range(21))[1]
        for j in range(1, len(knots[i])):  # rising
            knots[i][j] = max(knots[i][j], knots[i][j - 1])

knots = [[v for v in levels[i]] for i in range(4)]
for iteration in range(6):
    corners = fit_corners(knots)
    fit_curves(knots, corners)
corners = fit_corners(knots)
errors = sorted(error(corners, [curve_value(knots, i, inks[i]) for i in range(4)], lab) ** 0.5
                for inks, lab in patches)
print("fit to %d patches: mean dE %.2f, 95%% %.2f, largest %.2f" %
      (len(errors), sum(errors) / len(errors), errors[int(len(errors) * 0.95)], errors[-1]))

def lab_bytes(lab):
    L, a, b = lab
    clamp = lambda v: max(0, min(255, int(round(v))))
    return bytes((clamp(L * 255 / 100), clamp(a + 128), clamp(b + 128)))

def input_curve(i):
    return bytes(max(0, min(255, int(round(curve_value(knots, i, n / 255) * 255)))) for n in range(256))

def mft1(inputs, outputs, grid, in_curves, clut, out_curves):
    identity = struct.pack(">9i", 65536, 0, 0, 0, 65536, 0, 0, 0, 65536)
    body = b"mft1" + bytes(4) + bytes((inputs, outputs, grid, 0)) + identity
    return body + b"".join(in_curves) + clut + b"".join(out_curves)

linear = bytes(range(256))
a2b = mft1(4, 3, 2, [input_curve(i) for i in range(4)], b"".join(lab_bytes(c) for c in corners), [linear] * 3)

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

white = tuple(p for p in paper)  # the media white point, as measured
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
    out.write("// Generated by tools/gen_cmyk_profile.py from the CGATS TR 003 (SWOP) characterisation data.\n")
    out.write("// Do not edit: run the script again.\n")
    out.write('#include "color/builtin_profiles.h"\n\nnamespace vn::color {\n\n')
    out.write("const uint8_t kBuiltinCMYKProfile[%d] = {\n" % len(profile))
    for i in range(0, len(profile), 16):
        out.write("    " + ", ".join("0x%02x" % b for b in profile[i:i + 16]) + ",\n")
    out.write("};\nconst uint32_t kBuiltinCMYKProfileSize = %d;\n\n}  // namespace vn::color\n" % len(profile))
print("wrote %s (%d bytes)" % (OUT, len(profile)))
