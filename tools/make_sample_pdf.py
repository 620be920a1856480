#!/usr/bin/env python3
"""Writes samples/hello.pdf: a small, valid two-page PDF made by this project,
with a classic cross-reference table, a Flate content stream and an Info
dictionary. Run from the repository root."""
import zlib

content1 = b"BT /F1 24 Tf 72 700 Td (Hello from Folio LE) Tj ET\n0 0 1 rg 72 600 200 50 re f\n"
content2 = b"q 1 0 0 RG 4 w 72 72 m 300 300 l S Q\nBT /F1 12 Tf 72 400 Td (Page two) Tj ET\n"
packed2 = zlib.compress(content2)

objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>",
    b"<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << /Font << /F1 7 0 R >> >> >>",
    b"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 90 /Resources << /Font << /F1 7 0 R >> >> >>",
    b"<< /Length %d >>\nstream\n" % len(content1) + content1 + b"endstream",
    b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(packed2) + packed2 + b"\nendstream",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    b"<< /Title (Folio LE sample) /Author (The Folio LE team) /CreationDate (D:20261208090000+01'00') >>",
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
