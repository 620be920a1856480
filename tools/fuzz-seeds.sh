#!/usr/bin/env bash
# Makes seed inputs for the fuzz targets from the corpus of real PDF files,
# in build-fuzz/seeds/ (never in the repository):
#   filter/          raw stream data behind the 9-byte-per-filter header that
#                    fuzz/filter_fuzz.cpp reads, one seed per stream, a few
#                    of each filter chain;
#   content_parser/  decoded page content streams.
#   tools/fuzz-seeds.sh [MAX_PER_CHAIN]
# Needs qpdf and python3. The corpus is $FOLIO_CORPUS, else ../shared/corpus or
# ../../shared/corpus next to the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=${FOLIO_CORPUS:-}
if [ -z "$corpus" ]; then
  for c in ../shared/corpus ../../shared/corpus; do
    if [ -d "$c" ]; then corpus=$c; break; fi
  done
fi
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 1; }
out=build-fuzz/seeds
mkdir -p "$out/filter" "$out/content_parser"
python3 - "$corpus" "$out" "${1:-6}" <<'PY'
import collections, json, os, struct, subprocess, sys

corpus, out, per_chain = sys.argv[1], sys.argv[2], int(sys.argv[3])
kinds = {"/FlateDecode": 0, "/LZWDecode": 1, "/RunLengthDecode": 2, "/ASCIIHexDecode": 3,
         "/ASCII85Decode": 4, "/CCITTFaxDecode": 5, "/DCTDecode": 6, "/JPXDecode": 7, "/JBIG2Decode": 8}
predictors = {1: 0, 2: 2, 10: 3, 11: 4, 12: 5, 13: 6, 15: 7, 14: 7}
bpcs = {1: 0, 2: 1, 4: 2, 8: 3, 16: 4}
MAX_RAW = 64 * 1024

def header(filters, parms):
    data = bytes([len(filters) - 1])
    for name, p in zip(filters, parms):
        p = p if isinstance(p, dict) else {}
        def num(key, default):
            v = p.get(key, default)
            return v if isinstance(v, int) else default
        columns = num("/Columns", None)
        rows, k = num("/Rows", None), num("/K", None)
        flags = (num("/EarlyChange", 1) & 1) | (2 if p.get("/EncodedByteAlign") is True else 0)
        flags |= 4 if p.get("/BlackIs1") is True else 0
        flags |= 8 if p.get("/EndOfBlock", True) is not False else 0
        flags |= 16 if p.get("/EndOfLine") is True else 0
        flags |= (32 if columns is not None else 0) | (64 if rows is not None else 0) | (128 if k is not None else 0)
        col = min(columns or 0, 0xFFFE)
        data += bytes([kinds[name], predictors.get(num("/Predictor", 1), 0) | (min(num("/Colors", 0), 31) << 3),
                       bpcs.get(num("/BitsPerComponent", 8), 3), col & 0xFF, col >> 8, flags,
                       (k or 0) & 0xFF, min(rows or 0, 0xFE)])
    return data

counts = collections.Counter()
content_seeds = 0
for file in sorted(os.listdir(corpus)):
    if not file.endswith(".pdf"):
        continue
    path = os.path.join(corpus, file)
    try:
        doc = json.loads(subprocess.run(["qpdf", "--json", "--json-stream-data=none", path],
                                        capture_output=True, timeout=60).stdout)
    except Exception:
        continue
    objects = {}
    for part in doc.get("qpdf", [{}, {}])[1:]:
        objects.update(part)
    contents = set()
    for key, obj in objects.items():
        v = obj.get("value") if isinstance(obj, dict) else None
        if isinstance(v, dict) and v.get("/Type") == "/Page":
            c = v.get("/Contents")
            for ref in (c if isinstance(c, list) else [c]):
                if isinstance(ref, str):
                    contents.add(ref.split()[0])
    for key, obj in objects.items():
        stream = obj.get("stream") if isinstance(obj, dict) else None
        if not stream:
            continue
        number = key.split(":")[1].split()[0]
        d = stream.get("dict", {})
        f, p = d.get("/Filter"), d.get("/DecodeParms")
        filters = f if isinstance(f, list) else [f] if f else []
        parms = p if isinstance(p, list) else [p] * len(filters)
        if number in contents and content_seeds < 40:
            data = subprocess.run(["qpdf", "--show-object=" + number, "--filtered-stream-data", path],
                                  capture_output=True).stdout
            if 0 < len(data) <= MAX_RAW:
                open(os.path.join(out, "content_parser", f"{file}.{number}"), "wb").write(data)
                content_seeds += 1
        if not filters or len(filters) > 3 or any(x not in kinds for x in filters):
            continue
        chain = tuple(filters) + tuple(sorted(str(x) for x in parms if x))
        if counts[chain] >= per_chain:
            continue
        raw = subprocess.run(["qpdf", "--show-object=" + number, "--raw-stream-data", path],
                             capture_output=True).stdout
        if not raw or len(raw) > MAX_RAW:
            continue
        counts[chain] += 1
        open(os.path.join(out, "filter", f"{file}.{number}"), "wb").write(header(filters, parms) + raw)
print(f"{sum(counts.values())} filter seeds over {len(counts)} chains, {content_seeds} content seeds")
PY
