#!/usr/bin/env python3
"""Writes samples/hello.pdf: a small, valid two-page PDF made by this project,
with a classic cross-reference table, a Flate content stream and an Info
dictionary. Page 1 shows what the engine draws: fills with both rules,
strokes with joins, caps and dashes, curves, clipping, constant alpha, a
form XObject drawn twice, DeviceCMYK, Indexed and Separation colours and an
annotation's appearance. Run from the repository root."""
import zlib

K = 0.5523  # control-point distance of a quarter circle, per unit radius


def circle(cx, cy, r):
    """A closed circle path of four cubic curves."""
    k = K * r
    points = [(cx + r, cy), (cx + r, cy + k), (cx + k, cy + r), (cx, cy + r), (cx - k, cy + r), (cx - r, cy + k),
              (cx - r, cy), (cx - r, cy - k), (cx - k, cy - r), (cx, cy - r), (cx + k, cy - r), (cx + r, cy - k),
              (cx + r, cy)]
    text = [f"{x:.2f} {y:.2f}".replace(".00", "") for x, y in points]
    return (f"{text[0]} m " + " ".join(f"{text[i]} {text[i + 1]} {text[i + 2]} c" for i in (1, 4, 7, 10)) + " h ")


stripes = "".join(f"{x} 300 6 160 re " for x in range(380, 560, 12))
content1 = (
    # The title (drawn once fonts are) and the blue bar of the first sample.
    "BT /F1 24 Tf 72 700 Td (Hello from Folio LE) Tj ET\n0 0 1 rg 72 600 200 50 re f\n"
    # A star filled by the even-odd rule, stroked with round joins.
    "q 1 0.55 0 rg 0.2 0.1 0 RG 3 w 1 j 150 560 m 179.4 469.5 l 102.4 525.5 l 197.6 525.5 l 120.6 469.5 l h B* Q\n"
    # A dashed curve with round caps.
    "q 0 0.5 0 RG 4 w 1 J [12 8] 0 d 250 480 m 300 580 380 420 450 540 c S Q\n"
    # Three circles at half opacity.
    "q /Half gs 1 0 0 rg " + circle(140, 360, 60) + "f 0 0.7 0 rg " + circle(200, 360, 60) + "f "
    "0 0 1 rg " + circle(170, 410, 60) + "f Q\n"
    # Stripes clipped to a circle.
    "q " + circle(470, 380, 75) + "W n 0.55 0.2 0.7 rg " + stripes + "f Q\n"
    # Ink colours: DeviceCMYK, an Indexed palette and a spot colour.
    "q 0 1 1 0 k 72 180 60 60 re f 1 0 0 0 k 142 180 60 60 re f 0 0 1 0 k 212 180 60 60 re f\n"
    "/Palette cs 0 sc 282 180 60 60 re f 1 sc 352 180 60 60 re f /Spot cs 0.8 sc 422 180 60 60 re f Q\n"
    # A form XObject drawn twice.
    "q 1 0 0 1 72 60 cm /Badge Do Q q 0.7 0 0 0.7 300 70 cm /Badge Do Q\n"
).encode()
content2 = b"q 1 0 0 RG 4 w 72 72 m 300 300 l S Q\nBT /F1 12 Tf 72 400 Td (Page two) Tj ET\n"
packed2 = zlib.compress(content2)
badge = (b"0.1 0.2 0.4 rg 0 0 m 160 0 l 160 80 l 0 80 l h f "
         b"1 1 1 RG 6 w 0 J 0 j 20 20 m 60 60 l 100 20 l 140 60 l S")
note = b"1 0.9 0.3 rg 0 0 100 40 re f 0.6 0.4 0 RG 2 w 1 1 98 38 re S"

objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>",
    b"<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << /Font << /F1 7 0 R >> /ExtGState << /Half 9 0 R >>"
    b" /ColorSpace << /Palette [/Indexed /DeviceRGB 1 <1F77B4 FF7F0E>] /Spot 10 0 R >> /XObject << /Badge 11 0 R >>"
    b" >> /Annots [12 0 R] >>",
    b"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 90 /Resources << /Font << /F1 7 0 R >> >> >>",
    b"<< /Length %d >>\nstream\n" % len(content1) + content1 + b"endstream",
    b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(packed2) + packed2 + b"\nendstream",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    b"<< /Title (Folio LE sample) /Author (The Folio LE team) /CreationDate (D:20261208090000+01'00') >>",
    b"<< /Type /ExtGState /ca 0.5 >>",
    b"[/Separation /Teal /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0.9 0 0.4 0.1] /N 1 >>]",
    b"<< /Type /XObject /Subtype /Form /BBox [0 0 160 80] /Length %d >>\nstream\n" % len(badge) + badge +
    b"\nendstream",
    b"<< /Type /Annot /Subtype /Square /Rect [440 60 540 100] /Contents (A note) /AP << /N 13 0 R >> >>",
    b"<< /Type /XObject /Subtype /Form /BBox [0 0 100 40] /Length %d >>\nstream\n" % len(note) + note +
    b"\nendstream",
]

out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
offsets = []
for number, body in enumerate(objects, start=1):
    offsets.append(len(out))
    out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n" % (len(objects) + 1)
out += b"0000000000 65535 f \n"
for offset in offsets:
    out += b"%010d 00000 n \n" % offset
out += b"trailer\n<< /Size %d /Root 1 0 R /Info 8 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)

with open("samples/hello.pdf", "wb") as f:
    f.write(out)
