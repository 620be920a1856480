#!/usr/bin/env python3
"""Compares the objects folio resolves with qpdf's reading of the same files.

usage: compare_objects.py FOLIO CORPUS_DIR [--per-file N]

For every corpus file that qpdf checks without warnings, up to N
objects (default 25, spread over the file) are read with `folio show --json`
and compared with `qpdf --json=2`: same type, same dictionary keys, same
array lengths, same names, references and integers, reals within 16.16
precision, strings equal when qpdf gives their bytes. Prints the counts and
the first disagreements; exits 1 when any object disagrees."""
import csv, json, re, subprocess, sys

def unescape_name(n):
    return re.sub(r"#([0-9a-fA-F]{2})", lambda m: chr(int(m.group(1), 16)), n)

def same(ours, theirs, path, notes):
    if isinstance(theirs, bool) or theirs is None:
        ok = ours == theirs
    elif isinstance(theirs, (int, float)):
        if not isinstance(ours, (int, float)) or isinstance(ours, bool):
            ok = False
        elif abs(theirs) > 32767 and not isinstance(theirs, int):
            ok = True  # reals beyond 16.16 saturate by design
        else:
            ok = abs(ours - theirs) <= 2e-5 * max(1.0, abs(theirs)) + 1e-5
    elif isinstance(theirs, str):
        if theirs.startswith("u:"):
            ok = isinstance(ours, str) and ours.startswith("b:")
        elif theirs.startswith("b:"):
            ok = isinstance(ours, str) and ours.lower() == theirs.lower()
        elif theirs.startswith("/"):
            ok = isinstance(ours, str) and unescape_name(ours) == unescape_name(theirs)
        else:
            ok = ours == theirs
    elif isinstance(theirs, list):
        ok = isinstance(ours, list) and len(ours) == len(theirs)
        if ok:
            return all(same(o, t, f"{path}[{i}]", notes) for i, (o, t) in enumerate(zip(ours, theirs)))
    elif isinstance(theirs, dict):
        ok = isinstance(ours, dict)
        if ok:
            a = {unescape_name(k): v for k, v in ours.items()}
            b = {unescape_name(k): v for k, v in theirs.items()}
            if set(a) != set(b):
                ok = False
            else:
                return all(same(a[k], b[k], f"{path}{k}", notes) for k in b)
    else:
        ok = False
    if not ok:
        notes.append(f"{path}: folio {json.dumps(ours)[:80]} qpdf {json.dumps(theirs)[:80]}")
    return ok

def main():
    folio, corpus = sys.argv[1], sys.argv[2]
    per_file = int(sys.argv[sys.argv.index("--per-file") + 1]) if "--per-file" in sys.argv else 25
    files = compared = equal = 0
    problems = []
    with open(f"{corpus}/MANIFEST.tsv") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    for r in rows:
        enc = r["encrypted"]
        if "broken" in r["features"]:
            continue
        path = f"{corpus}/{r['file']}"
        m = re.search(r"user=(\S+)", enc)
        pw = ["--password", m.group(1)] if m else []
        qpw = [f"--password={m.group(1)}"] if m else []
        check = subprocess.run(["qpdf", "--check"] + qpw + [path], capture_output=True, text=True)
        if check.returncode != 0:
            continue
        q = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf"] + qpw + [path], capture_output=True)
        try:
            objects = json.loads(q.stdout)["qpdf"][1]
        except Exception:
            continue
        keys = [k for k in objects if k.startswith("obj:")]
        step = max(1, len(keys) // per_file)
        files += 1
        for k in keys[::step][:per_file]:
            number = int(k.split()[0][4:])
            entry = objects[k]
            theirs = entry["stream"]["dict"] if "stream" in entry else entry.get("value")
            out = subprocess.run([folio, "show", "--json"] + pw + [path, str(number)], capture_output=True, text=True)
            compared += 1
            if out.returncode != 0:
                problems.append(f"{r['file']} {number}: {out.stderr.strip()}")
                continue
            ours = json.loads(out.stdout)["value"]
            notes = []
            if same(ours, theirs, "", notes):
                equal += 1
            else:
                problems.append(f"{r['file']} {number}: {notes[0]}")
    for p in problems[:20]:
        print(p)
    print(f"objects: {files} files, {compared} compared, {equal} equal, {compared - equal} different")
    return 0 if compared == equal else 1

if __name__ == "__main__":
    sys.exit(main())
