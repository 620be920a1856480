#!/usr/bin/env python3
"""Generates src/pdf/text/text_tables.cpp: the published tables the PDF font
layer needs.

  - the Adobe Glyph List (glyph name -> Unicode value), taken as data from
    the list that python3-fonttools ships in fontTools/agl.py; names whose
    value is several characters or lies beyond the BMP are left out;
  - the glyph names of MacRomanEncoding (the Mac OS Roman names of
    fontTools/encodings/MacRoman.py, without the control codes, the
    non-breaking space at 0xCA, which PDF names "space", and the fifteen
    characters PDF's MacRomanEncoding leaves out), WinAnsiEncoding (Windows
    code page 1252 named through the glyph list; the five unused codes are
    "bullet", 0xA0 "space" and 0xAD "hyphen") and MacExpertEncoding (the
    encoding vector of libgs10-common);
  - MacExpertEncoding's Unicode values (its names through the glyph list);
  - the advance widths of the fourteen standard fonts from the metrics (AFM)
    of their metric-compatible URW clones in fonts-urw-base35, keyed by
    glyph name, and the built-in encodings of Symbol and ZapfDingbats.

Run from the repository root:  python3 tools/gen_text_tables.py
Needs python3-fonttools, libgs10-common and fonts-urw-base35 (not needed to
build or test the project).
"""
import ast
import glob
import re

FONTTOOLS = "/usr/lib/python3/dist-packages/fontTools"
URW = "/usr/share/fonts/type1/urw-base35"

# ---- glyph list
agl_text = open(f"{FONTTOOLS}/agl.py", encoding="utf-8").read()
agl_text = agl_text[agl_text.index('_aglText = """') + 14:]
agl_text = agl_text[:agl_text.index('"""')]
glyph_list = {}
for line in agl_text.splitlines():
    if ";" not in line or line.startswith("#"):
        continue
    name, values = line.split(";")
    values = values.split()
    if len(values) != 1:
        continue
    value = int(values[0], 16)
    if value <= 0xFFFF and name not in glyph_list:
        glyph_list[name] = value
unicode_name = {}
for name, value in glyph_list.items():
    unicode_name.setdefault(value, name)
# The names PDF's tables use where the list has several for one value.
for value, name in {0x20: "space", 0x2D: "hyphen", 0x27: "quotesingle", 0x60: "grave", 0xAF: "macron",
                    0xB5: "mu", 0xB7: "periodcentered", 0x2DC: "tilde"}.items():
    unicode_name[value] = name

# ---- encodings
src = open(f"{FONTTOOLS}/encodings/MacRoman.py", encoding="utf-8").read()
mac_roman = ast.literal_eval(src[src.index("["):src.rindex("]") + 1])
assert len(mac_roman) == 256
not_in_pdf_mac_roman = {"notequal", "infinity", "lessequal", "greaterequal", "partialdiff", "summation",
                        "product", "pi", "integral", "Omega", "radical", "approxequal", "Delta", "lozenge",
                        "apple"}
mac_roman = [None if c < 0x20 or c == 0x7F or n in not_in_pdf_mac_roman else n
             for c, n in enumerate(mac_roman)]
mac_roman[0xCA] = "space"

win_ansi = []
for code in range(256):
    if code in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
        win_ansi.append("bullet")
    elif code < 0x20 or code == 0x7F:
        win_ansi.append(None)
    elif code == 0xA0:
        win_ansi.append("space")
    elif code == 0xAD:
        win_ansi.append("hyphen")
    else:
        win_ansi.append(unicode_name[ord(bytes([code]).decode("cp1252"))])

mex_file = sorted(glob.glob("/usr/share/ghostscript/*/Resource/Init/gs_mex_e.ps"))[-1]
text = open(mex_file, encoding="latin-1").read()
body = text[text.index("/MacExpertEncoding") + len("/MacExpertEncoding"):]
body = body[:body.index("packedarray")]
mac_expert = re.findall(r"/([A-Za-z0-9_.]+)", re.sub(r"%[^\n]*", "", body))
assert len(mac_expert) == 256, len(mac_expert)
mac_expert = [None if n == ".notdef" else n for n in mac_expert]
mac_expert_unicode = [glyph_list.get(n, 0) if n else 0 for n in mac_expert]


# ---- standard fonts
def read_afm(name):
    widths, encoding = {}, [None] * 256
    for line in open(f"{URW}/{name}.afm", encoding="latin-1"):
        if not line.startswith("C "):
            continue
        fields = dict(f.strip().split(None, 1) for f in line.split(";") if f.strip())
        glyph = fields["N"].split()[0]
        widths[glyph] = int(float(fields["WX"]))
        code = int(fields["C"])
        if 0 <= code < 256:
            encoding[code] = glyph
    return widths, encoding


# The standard fonts in the order of their index, and the URW face with the
# same metrics.
STANDARD_FONTS = [
    ("Courier", "NimbusMonoPS-Regular"), ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"), ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Helvetica", "NimbusSans-Regular"), ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"), ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"), ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"), ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
    ("Symbol", "StandardSymbolsPS"), ("ZapfDingbats", "D050000L"),
]
metrics = [read_afm(urw) for _, urw in STANDARD_FONTS]
metric_names = sorted({g for widths, _ in metrics for g in widths}, key=lambda s: s.encode())
tables, table_of_font = [], []
for widths, _ in metrics:
    row = [widths.get(g, 0) for g in metric_names]
    if row not in tables:
        tables.append(row)
    table_of_font.append(tables.index(row))
assert max(max(t) for t in tables) < 0xFFFF


def rows(values, per_line, fmt):
    out = []
    for i in range(0, len(values), per_line):
        out.append("    " + " ".join(fmt(v) + "," for v in values[i:i + per_line]))
    return "\n".join(out)


def name_or_null(n):
    return '"%s"' % n if n else "nullptr"


glyph_entries = sorted(glyph_list.items(), key=lambda e: e[0].encode())
width_tables = ",\n".join("  {\n" + rows(t, 16, str) + "\n  }" for t in tables)
out = f"""// Generated by tools/gen_text_tables.py: do not edit.
#include "pdf/text/text_tables.h"

namespace vn::pdf::text {{

const GlyphListEntry kGlyphList[kGlyphListCount] = {{
{rows(glyph_entries, 4, lambda e: '{"%s", 0x%04X}' % e)}
}};

const char* const kMacRomanEncodingNames[256] = {{
{rows(mac_roman, 8, name_or_null)}
}};

const char* const kWinAnsiEncodingNames[256] = {{
{rows(win_ansi, 8, name_or_null)}
}};

const char* const kMacExpertEncodingNames[256] = {{
{rows(mac_expert, 8, name_or_null)}
}};

const uint16_t kMacExpertUnicode[256] = {{
{rows(mac_expert_unicode, 12, lambda v: "0x%04X" % v)}
}};

const char* const kSymbolEncodingNames[256] = {{
{rows(metrics[12][1], 8, name_or_null)}
}};

const char* const kZapfDingbatsEncodingNames[256] = {{
{rows(metrics[13][1], 8, name_or_null)}
}};

const char* const kStandardMetricNames[kStandardMetricNameCount] = {{
{rows(metric_names, 6, lambda s: '"%s"' % s)}
}};

const uint16_t kStandardWidths[kStandardWidthTableCount][kStandardMetricNameCount] = {{
{width_tables}
}};

const uint8_t kStandardWidthTableOfFont[14] = {{{", ".join(map(str, table_of_font))}}};

}}  // namespace vn::pdf::text
"""
open("src/pdf/text/text_tables.cpp", "w").write(out)
print(f"glyph list {len(glyph_entries)}, metric names {len(metric_names)}, width tables {len(tables)}")
