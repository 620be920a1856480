#!/usr/bin/env python3
"""Generates the built-in CMaps from the published CMap resources.

Reads every CMap of the Adobe-Japan1, Adobe-GB1, Adobe-CNS1 and Adobe-Korea1
collections that Debian's poppler-data ships (/usr/share/poppler/cMap), and
writes a C++ source with each CMap encoded in the engine's compact bit-packed
form (decoded by CMapDecompressedDataBlockStream), grouped by collection and
sorted by name for FindPredefinedCMap.

Usage: gen_predefined_cmaps.py OUTPUT.cpp [CMAP_ROOT]

The compact form is a bit stream read most-significant bit first:
  command (2 bits): 0 end; 1 literal text (8-bit count, then the bytes);
  2 keyword (6-bit index into KEYWORDS); 3 entry block (1 bit: destinations
  in hex, 1 bit: entries are ranges, 8-bit count, then the entries).
Each entry: 1 bit "parameter updates follow", the updates (2-bit selector,
3-bit operation, ...), the code delta, the destination (delta and sign bit,
or bytes), the range length. See src/pdf/cmap/cmap_decompressed_stream.cpp.
"""

import os
import sys

COLLECTIONS = [("Japan1", "Adobe-Japan1"), ("GB1", "Adobe-GB1"), ("CNS1", "Adobe-CNS1"), ("Korea1", "Adobe-Korea1")]

KEYWORDS = [
    "beginbfchar", "beginbfrange", "begincidchar", "begincidrange",
    "endbfchar", "endbfrange", "endcidchar", "endcidrange",
    "begin", "begincmap", "begincodespacerange", "beginnotdefrange", "currentdict", "def",
    "defineresource", "dict", "dup", "end", "endcmap", "endcodespacerange", "endnotdefrange",
    "findresource", "pop", "usecmap", "1.000", "1.001", "9.001", "10.001", "11.001", "12.000",
    "12.001", "CMapName", "(Adobe)", "(CNS1)", "(GB1)", "(Japan1)", "(Japan2)", "(Korea1)",
    "/CIDCount", "/CIDInit", "/CIDSystemInfo", "/CMap", "/CMapName", "/CMapVersion", "/CMapType",
    "/Ordering", "/ProcSet", "/Registry", "/Supplement", "/UIDOffset", "/WMode", "/XUID",
] + ["TBD" + c for c in "dcba98765432"]
assert len(KEYWORDS) == 64
KEYWORD_INDEX = {k: i for i, k in enumerate(KEYWORDS)}

# Sections whose entries become entry blocks: (is a range, destinations in hex).
SECTIONS = {
    "begincidrange": ("endcidrange", True, False),
    "begincidchar": ("endcidchar", False, False),
    "beginnotdefrange": ("endnotdefrange", True, False),
    "beginbfrange": ("endbfrange", True, True),
    "beginbfchar": ("endbfchar", False, True),
}

MAX_BLOCK_ENTRIES = 255
MAX_LITERAL = 255
MAX_WIDTH = 32
MAX_BYTE_DESTINATION = 31  # a 5-bit count


# ---- reading PostScript tokens

WHITE = b" \t\r\n\f\0"
DELIMITERS = b"()<>[]{}/%"


def tokenize(data):
    """The CMap's tokens as text; comments dropped."""
    tokens = []
    i, n = 0, len(data)
    while i < n:
        c = data[i]
        if c in WHITE:
            i += 1
        elif c == ord("%"):
            while i < n and data[i] not in b"\r\n":
                i += 1
        elif c == ord("("):
            depth, j = 0, i
            while j < n:
                if data[j] == ord("\\"):
                    j += 2
                    continue
                if data[j] == ord("("):
                    depth += 1
                elif data[j] == ord(")"):
                    depth -= 1
                    if depth == 0:
                        break
                j += 1
            tokens.append(data[i:j + 1].decode("latin-1"))
            i = j + 1
        elif c == ord("<") and data[i + 1:i + 2] == b"<" or c == ord(">") and data[i + 1:i + 2] == b">":
            tokens.append(data[i:i + 2].decode("latin-1"))
            i += 2
        elif c == ord("<"):
            j = data.index(b">", i)
            tokens.append("<" + "".join(data[i + 1:j].decode("latin-1").split()) + ">")
            i = j + 1
        elif c in b"[]{}":
            tokens.append(chr(c))
            i += 1
        else:
            j = i + 1
            while j < n and data[j] not in WHITE and data[j] not in DELIMITERS:
                j += 1
            tokens.append(data[i:j].decode("latin-1"))
            i = j
    return tokens


def hex_bytes(token):
    if len(token) < 2 or token[0] != "<" or token[-1] != ">":
        return None
    digits = token[1:-1]
    if len(digits) % 2 or any(ch not in "0123456789abcdefABCDEF" for ch in digits):
        return None
    return bytes.fromhex(digits)


# ---- writing bits

class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, width):
        assert 0 <= value < (1 << width) or width == 0 and value == 0, (value, width)
        for shift in range(width - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> shift) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                self.acc = self.count = 0

    def finish(self):
        if self.count:
            self.out.append(self.acc << (8 - self.count))
            self.acc = self.count = 0
        return bytes(self.out)


# ---- entry blocks

def growth_steps(difference):
    """Width increments (powers of two up to 16) adding up to `difference`."""
    steps = []
    while difference > 0:
        step = 16
        while step > difference:
            step //= 2
        steps.append(step)
        difference -= step
    return steps


def width_ops(current, target):
    """Operations (3-bit codes) turning a width of `current` into `target`."""
    if target == current:
        return []
    grow = growth_steps(target - current) if target > current else None
    restart = [2] + [3 + s.bit_length() - 1 for s in growth_steps(target)]
    if grow is not None and len(grow) <= len(restart):
        return [3 + s.bit_length() - 1 for s in grow]
    return restart


OP_BITS = 5          # a 2-bit selector and a 3-bit operation
TRANSITION_EXTRA = 2  # the selector that ends an entry's updates, shared


def choose_widths(needs):
    """Widths, one per entry, that hold each need at the least total cost:
    the bits read plus the operations that change the width."""
    candidates = sorted(set(needs) | {0})
    index = {w: k for k, w in enumerate(candidates)}
    inf = float("inf")
    change = [[0 if a == b else len(width_ops(a, b)) * OP_BITS + TRANSITION_EXTRA for b in candidates]
              for a in candidates]
    cost = [inf] * len(candidates)
    cost[index[0]] = 0
    back = []
    for need in needs:
        fresh = [inf] * len(candidates)
        came = [0] * len(candidates)
        for k, w in enumerate(candidates):
            if w < need:
                continue
            best, where = inf, 0
            for j, c in enumerate(cost):
                total = c + change[j][k]
                if total < best:
                    best, where = total, j
            fresh[k] = best + w
            came[k] = where
        back.append(came)
        cost = fresh
    k = min(range(len(candidates)), key=lambda j: cost[j])
    widths = []
    for came in reversed(back):
        widths.append(candidates[k])
        k = came[k]
    widths.reverse()
    return widths


class Entry:
    def __init__(self, code, code_length, span, destination, destination_size):
        self.code = code                      # the low code
        self.code_length = code_length        # bytes
        self.span = span                      # high - low (0 for single codes)
        self.destination = destination        # a number, or bytes for long strings
        self.destination_size = destination_size


def parse_entries(tokens, is_range, hex_destination):
    """The section's entries, or None when one cannot be written as an entry."""
    width = 3 if is_range else 2
    if len(tokens) % width:
        return None
    entries = []
    for k in range(0, len(tokens), width):
        low = hex_bytes(tokens[k])
        if low is None or not 1 <= len(low) <= 4:
            return None
        span = 0
        if is_range:
            high = hex_bytes(tokens[k + 1])
            if high is None or len(high) != len(low) or int.from_bytes(high, "big") < int.from_bytes(low, "big"):
                return None
            span = int.from_bytes(high, "big") - int.from_bytes(low, "big")
        target = tokens[k + width - 1]
        if hex_destination:
            value = hex_bytes(target)
            if value is None or len(value) == 0 or len(value) > MAX_BYTE_DESTINATION:
                return None
            if len(value) < 5:
                entries.append(Entry(int.from_bytes(low, "big"), len(low), span, int.from_bytes(value, "big"), len(value)))
            else:
                entries.append(Entry(int.from_bytes(low, "big"), len(low), span, value, len(value)))
        else:
            if not target.isdigit():
                return None
            entries.append(Entry(int.from_bytes(low, "big"), len(low), span, int(target), 0))
    return entries


def size_fields(size):
    """What follows operation 1 under selector 2 to set the destination size."""
    if size in (1, 2, 4):
        return [({1: 0, 2: 1, 4: 2}[size], 2)]
    return [(3, 2), (size, 5)]


def write_block(bits, entries, is_range, hex_destination):
    bits.put(3, 2)
    bits.put(1 if hex_destination else 0, 1)
    bits.put(1 if is_range else 0, 1)
    bits.put(len(entries), 8)
    # The code deltas follow from the entry order; a code below the running
    # one restarts the code at 0.
    code, restarts, code_needs = 0, [], []
    for e in entries:
        restart = e.code < code or (e.code - code).bit_length() > e.code.bit_length() + OP_BITS
        restarts.append(restart)
        delta = e.code if restart else e.code - code
        code_needs.append(delta.bit_length())
        code = e.code + e.span + 1
    value, destination_needs = 0, []
    for e in entries:
        if isinstance(e.destination, int):
            destination_needs.append(abs(e.destination - value).bit_length())
            value = e.destination + e.span
        else:
            destination_needs.append(0)
            value += e.span
    code_widths = choose_widths(code_needs)
    destination_widths = choose_widths(destination_needs)
    span_widths = choose_widths([e.span.bit_length() for e in entries]) if is_range else [0] * len(entries)

    state = {"code": 0, "code_length": 0, "size": 0, "code_width": 0, "destination_width": 0, "span_width": 0,
             "value": 0}
    for e, restart, cw, dw, sw in zip(entries, restarts, code_widths, destination_widths, span_widths):
        updates = []  # (selector, [(value, width), ...])
        if restart:
            updates.append((1, [(0, 3)]))
        if e.code_length != state["code_length"]:
            updates.append((1, [(1, 3), (e.code_length - 1, 2)]))
            state["code_length"] = e.code_length
        if e.destination_size != state["size"]:
            updates.append((2, [(1, 3)] + size_fields(e.destination_size)))
            state["size"] = e.destination_size
        for selector, key, target in ((1, "code_width", cw), (2, "destination_width", dw), (3, "span_width", sw)):
            for op in width_ops(state[key], target):
                updates.append((selector, [(op, 3)]))
            state[key] = target
        if updates:
            bits.put(1, 1)
            for selector, fields in updates:
                bits.put(selector, 2)
                for v, w in fields:
                    bits.put(v, w)
            bits.put(0, 2)
        else:
            bits.put(0, 1)
        if restart:
            state["code"] = 0
        bits.put(e.code - state["code"], cw)
        if isinstance(e.destination, int):
            delta = e.destination - state["value"]
            bits.put(abs(delta), dw)
            bits.put(1 if delta < 0 else 0, 1)
            state["value"] = e.destination + e.span
        else:
            for b in e.destination:
                bits.put(b, 8)
            state["value"] += e.span
        if is_range:
            bits.put(e.span, sw)
        state["code"] = e.code + e.span + 1


# ---- whole CMaps

def encode(data):
    tokens = tokenize(data)
    bits = BitWriter()
    literal = []

    def flush():
        text = "".join(" " + t for t in literal).encode("latin-1")
        literal.clear()
        for start in range(0, len(text), MAX_LITERAL):
            piece = text[start:start + MAX_LITERAL]
            bits.put(1, 2)
            bits.put(len(piece), 8)
            for b in piece:
                bits.put(b, 8)

    def keyword(word):
        flush()
        bits.put(2, 2)
        bits.put(KEYWORD_INDEX[word], 6)

    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token in SECTIONS:
            end_word, is_range, hex_destination = SECTIONS[token]
            end = tokens.index(end_word, i + 1)
            body = tokens[i + 1:end]
            entries = parse_entries(body, is_range, hex_destination)
            keyword(token)
            if entries is None:
                literal.extend(body)
            else:
                for start in range(0, len(entries), MAX_BLOCK_ENTRIES):
                    write_block(bits, entries[start:start + MAX_BLOCK_ENTRIES], is_range, hex_destination)
            keyword(end_word)
            i = end + 1
            continue
        if token in KEYWORD_INDEX:
            keyword(token)
        else:
            literal.append(token)
        i += 1
    flush()
    bits.put(0, 2)
    return bits.finish()


def c_string(name):
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    output = sys.argv[1]
    root = sys.argv[2] if len(sys.argv) > 2 else "/usr/share/poppler/cMap"
    blob = bytearray()
    groups = []
    source_bytes = 0
    for ordering, folder in COLLECTIONS:
        directory = os.path.join(root, folder)
        if not os.path.isdir(directory):
            sys.exit("gen_predefined_cmaps: %s is missing (install poppler-data)" % directory)
        names = sorted(os.listdir(directory), key=lambda s: s.encode("latin-1"))
        table = []
        for name in names:
            with open(os.path.join(directory, name), "rb") as f:
                data = f.read()
            source_bytes += len(data)
            encoded = encode(data)
            table.append((name, len(blob), len(encoded)))
            blob.extend(encoded)
        groups.append((ordering, table))

    lines = [
        "// Generated by tools/gen_predefined_cmaps.py from the CMap resources of",
        "// Debian's poppler-data: do not edit. %d CMaps, %d source bytes, %d bytes here." %
        (sum(len(t) for _, t in groups), source_bytes, len(blob)),
        "//",
        "// The CMap resources are Copyright 1990-2019 Adobe, redistributed under",
        "// the BSD 3-clause terms that accompany them in poppler-data.",
        '#include "pdf/cmap/predefined_cmap_table.h"',
        "",
        "namespace vn::pdf::cmap::cmap_detail {",
        "",
        "namespace {",
        "",
        "const uint8_t kBlobs[%d] = {" % len(blob),
    ]
    for start in range(0, len(blob), 24):
        lines.append("    " + ",".join(str(b) for b in blob[start:start + 24]) + ",")
    lines.append("};")
    lines.append("")
    for ordering, table in groups:
        lines.append("const PredefinedCMapEntry k%sEntries[] = {" % ordering)
        for name, offset, length in table:
            lines.append("    {%s, kBlobs + %d, %d}," % (c_string(name), offset, length))
        lines.append("};")
        lines.append("")
    lines.append("}  // namespace")
    lines.append("")
    lines.append("const PredefinedCMapGroup kPredefinedCMapGroups[kPredefinedCMapGroupCount] = {")
    for ordering, table in groups:
        lines.append("    {k%sEntries, %d}," % (ordering, len(table)))
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace vn::pdf::cmap::cmap_detail")
    text = "\n".join(lines) + "\n"
    temporary = output + ".tmp"
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()
