#!/usr/bin/env python3
"""Extracts the embedded font programs of PDF files with qpdf, for the font
comparison tests and the fuzz seeds (never into the repository).

  tools/extract_fonts.py OUT_DIR [PDF ...]

Without PDF arguments every file of the corpus is read ($FOLIO_CORPUS, else
../shared/corpus or ../../shared/corpus). Each program becomes
OUT_DIR/<pdf name>.<object>.<kind>, kind being
  t1   FontFile (Type 1)
  ttf  FontFile2 (TrueType)
  cff  FontFile3 /Type1C
  cid  FontFile3 /CIDFontType0C
  otf  FontFile3 /OpenType
and OUT_DIR/index.tsv lists file, object, kind, font name and size.
Passwords come from the corpus MANIFEST.tsv ("user=..." in its encrypted
column).
"""
import json
import os
import subprocess
import sys

KINDS = {"/FontFile": "t1", "/FontFile2": "ttf"}
SUBTYPES = {"/Type1C": "cff", "/CIDFontType0C": "cid", "/OpenType": "otf"}


def corpus_dir():
    c = os.environ.get("FOLIO_CORPUS")
    if c:
        return c
    here = os.path.dirname(os.path.abspath(__file__))
    for c in (os.path.join(here, "../../shared/corpus"), os.path.join(here, "../../../shared/corpus")):
        if os.path.isdir(c):
            return os.path.normpath(c)
    return None


def passwords(corpus):
    result = {}
    manifest = os.path.join(corpus, "MANIFEST.tsv") if corpus else None
    if manifest and os.path.exists(manifest):
        for line in open(manifest, encoding="utf-8").read().splitlines()[1:]:
            cols = line.split("\t")
            if len(cols) > 9 and "user=" in cols[9]:
                result[cols[0]] = cols[9].split("user=", 1)[1]
    return result


def extract(pdf, out, password, index):
    base = os.path.basename(pdf)
    auth = ["--password=" + password] if password else []
    try:
        run = subprocess.run(["qpdf"] + auth + ["--json", "--json-stream-data=none", pdf],
                             capture_output=True, timeout=120)
        doc = json.loads(run.stdout)
    except Exception:
        return 0
    objects = {}
    for part in doc.get("qpdf", [{}, {}])[1:]:
        objects.update(part)
    done = set()
    count = 0
    for obj in objects.values():
        value = obj.get("value") if isinstance(obj, dict) else None
        if not isinstance(value, dict) or value.get("/Type") != "/FontDescriptor":
            continue
        for key in ("/FontFile", "/FontFile2", "/FontFile3"):
            ref = value.get(key)
            if not isinstance(ref, str) or ref in done:
                continue
            done.add(ref)
            number = ref.split()[0]
            kind = KINDS.get(key)
            if kind is None:
                stream = objects.get("obj:" + ref, {}).get("stream", {})
                kind = SUBTYPES.get(stream.get("dict", {}).get("/Subtype"))
            if kind is None:
                continue
            data = subprocess.run(["qpdf"] + auth + ["--show-object=" + number, "--filtered-stream-data", pdf],
                                  capture_output=True, timeout=120).stdout
            if not data:
                continue
            name = f"{base}.{number}.{kind}"
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)
            index.write(f"{name}\t{base}\t{number}\t{kind}\t{value.get('/FontName', '')}\t{len(data)}\n")
            count += 1
    return count


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    corpus = corpus_dir()
    pdfs = sys.argv[2:]
    if not pdfs:
        if not corpus:
            print("no corpus", file=sys.stderr)
            return 1
        pdfs = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if f.endswith(".pdf"))
    secrets = passwords(corpus)
    total = 0
    with open(os.path.join(out, "index.tsv"), "a", encoding="utf-8") as index:
        for pdf in pdfs:
            total += extract(pdf, out, secrets.get(os.path.basename(pdf)), index)
    print(f"{total} font programs from {len(pdfs)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
