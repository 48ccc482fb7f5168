#!/usr/bin/env python3
"""Generates decoder/tables_layer3.h: the Layer III Huffman decoding trees and
the scale-factor band boundaries of all nine sampling rates.

    tools/gen_layer3_tables.py [ISO_TABLES_DIR] [OUTPUT]

ISO_TABLES_DIR holds huffman.txt (ISO/IEC 11172-3 Annex B, Table B.7) and
layer3_bands.txt (ISO/IEC 11172-3 Table B.8, ISO/IEC 13818-3 Table B.2 and
the 8/11.025/12 kHz extension). The default is ../shared/iso-tables beside
the repository; the default output is decoder/tables_layer3.h.

Tree layout (the walk the decoder does): decoding starts at entry 0. An entry
-n is an inner node: read one bit; on 0 go to the next entry, on 1 move n + 1
entries forward. An entry >= 0 is a leaf: x * 16 + y for the big-values
tables, 8v + 4w + 2x + y for the count1 tables. Each node is laid out in
preorder (node, its 0-subtree, its 1-subtree), so n is the size of the
0-subtree.
"""
import os
import sys

# Sampling rates in the decoder's sample-rate index order 0..8.
RATES = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]


def read_records(path):
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                yield line.split()


def read_huffman(path):
    """Returns (linbits[32], share{table: code table}, codes{table: [(symbol, bits)]})."""
    linbits = {}
    share = {}
    codes = {}
    current = None
    for rec in read_records(path):
        if rec[0] == "linbits":
            linbits[int(rec[1])] = int(rec[2])
        elif rec[0] == "share":
            for t in rec[2:]:
                share[int(t)] = int(rec[1])
        elif rec[0] == "table":
            current = int(rec[1])
            codes[current] = []
        elif current is not None:
            nums = [int(v) for v in rec[:-1]]
            bits = rec[-1]
            if current >= 32:  # count1: v w x y length bits
                v, w, x, y, length = nums
                symbol = 8 * v + 4 * w + 2 * x + y
            else:  # x y length bits
                x, y, length = nums
                symbol = 16 * x + y
            if len(bits) != length or set(bits) - {"0", "1"}:
                raise ValueError(f"table {current}: bad code {rec}")
            codes[current].append((symbol, bits))
    if sorted(linbits) != list(range(32)):
        raise ValueError("linbits must list tables 0..31")
    return linbits, share, codes


def build_tree(table, code_list):
    """Lays out the prefix code as a flat preorder array (see module doc)."""
    root = {}
    for symbol, bits in code_list:
        node = root
        for i, b in enumerate(bits):
            if not isinstance(node, dict):
                raise ValueError(f"table {table}: code {bits} extends another code")
            if i == len(bits) - 1:
                if b in node:
                    raise ValueError(f"table {table}: code {bits} is a prefix of another")
                node[b] = symbol
            else:
                node = node.setdefault(b, {})

    out = []

    def emit(node):
        if not isinstance(node, dict):
            out.append(node)
            return
        if "0" not in node or "1" not in node:
            raise ValueError(f"table {table}: the code is not complete")
        at = len(out)
        out.append(None)
        emit(node["0"])
        out[at] = -(len(out) - at - 1)
        emit(node["1"])

    emit(root)
    return out


def walk(tree, bits):
    """Decodes one codeword by the decoder's rule; returns (symbol, bits used)."""
    i = 0
    used = 0
    while tree[i] < 0:
        b = bits[used]
        used += 1
        i = i + 1 if b == "0" else i - tree[i] + 1
    return tree[i], used


def read_bands(path):
    long_b, short_b = {}, {}
    for rec in read_records(path):
        kind, rate, values = rec[0], int(rec[1]), [int(v) for v in rec[2:]]
        if kind == "long":
            if len(values) != 23 or values[0] != 0 or values[-1] != 576:
                raise ValueError(f"long {rate}: 23 boundaries 0..576 expected")
            long_b[rate] = values
        elif kind == "short":
            if len(values) != 14 or values[0] != 0 or values[-1] != 192:
                raise ValueError(f"short {rate}: 14 boundaries 0..192 expected")
            short_b[rate] = values
        else:
            raise ValueError(f"unknown record {rec}")
        if any(b <= a or b % 2 for a, b in zip(values, values[1:])):
            raise ValueError(f"{kind} {rate}: boundaries must rise in even steps")
    for rate in RATES:
        if rate not in long_b or rate not in short_b:
            raise ValueError(f"rate {rate} missing")
    return long_b, short_b


def c_array(values, per_line=16, indent="    "):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
    return "\n".join(lines)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(here)
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(repo, "..", "shared", "iso-tables")
    dst = sys.argv[2] if len(sys.argv) > 2 else os.path.join(repo, "decoder", "tables_layer3.h")

    linbits, share, codes = read_huffman(os.path.join(src, "huffman.txt"))
    long_b, short_b = read_bands(os.path.join(src, "layer3_bands.txt"))

    # One tree per distinct code; tables 0, 4 and 14 have none.
    trees = {}
    for t in sorted(codes):
        tree = build_tree(t, codes[t])
        for symbol, bits in codes[t]:
            if walk(tree, bits) != (symbol, len(bits)):
                raise ValueError(f"table {t}: {bits} does not decode to {symbol}")
        trees[t] = tree

    def tree_of(t):
        if t in share:
            return share[t]
        return t if t in trees else None

    out = []
    w = out.append
    w("// Generated by tools/gen_layer3_tables.py from the ISO/IEC 11172-3 tables;")
    w("// do not edit. Layer III Huffman decoding trees (ISO/IEC 11172-3 Annex B,")
    w("// Table B.7) and scale-factor band boundaries (ISO/IEC 11172-3 Table B.8,")
    w("// ISO/IEC 13818-3 Table B.2, and the 8/11.025/12 kHz extension).")
    w("#pragma once")
    w("")
    w("#include <cstdint>")
    w("")
    w("// Tree walk: start at entry 0. An entry -n is an inner node: read one bit;")
    w("// on 0 go to the next entry, on 1 move n + 1 entries forward. An entry >= 0")
    w("// is a leaf: x * 16 + y (big-values tables) or 8v + 4w + 2x + y (count1).")
    w("")
    w("// Tables 0, 4 and 14: no code; the single leaf decodes (0, 0) from no bits.")
    w("inline constexpr int16_t kHuffTreeEmpty[1] = {0};")
    for t in sorted(trees):
        name = f"kHuffTree{t}" if t < 32 else ("kHuffTreeCount1A" if t == 32 else "kHuffTreeCount1B")
        longest = max(len(b) for _, b in codes[t])
        w(f"// Table {t if t < 32 else ('A' if t == 32 else 'B')}: {len(codes[t])} codes, "
          f"longest {longest} bits.")
        w(f"inline constexpr int16_t {name}[{len(trees[t])}] = {{")
        w(c_array(trees[t]))
        w("};")
    w("")
    w("struct HuffTableInfo {")
    w("    int linbits;          // escape bits behind the value 15")
    w("    const int16_t* tree;")
    w("    int treeSize;         // entries in tree")
    w("};")
    w("")
    w("// Entries 0..31: the big-values tables by table_select; 32 and 33: count1")
    w("// tables A and B (count1table_select 0 and 1).")
    w("inline constexpr HuffTableInfo kHuffTables[34] = {")
    for t in range(34):
        src_t = tree_of(t) if t < 32 else t
        lb = linbits[t] if t < 32 else 0
        if src_t is None:
            w(f"    {{{lb}, kHuffTreeEmpty, 1}},  // {t}")
        else:
            name = f"kHuffTree{src_t}" if src_t < 32 else ("kHuffTreeCount1A" if src_t == 32 else "kHuffTreeCount1B")
            w(f"    {{{lb}, {name}, {len(trees[src_t])}}},  // {t}")
    w("};")
    w("")
    w("// Sampling rates in sample-rate index order.")
    w("inline constexpr int kLayer3Rates[9] = {" + ", ".join(str(r) for r in RATES) + "};")
    w("")
    w("// Long-block band boundaries in spectral lines, [rate index][0..22].")
    w("inline constexpr int16_t kLongBoundary[9][23] = {")
    for r in RATES:
        w("    {" + ", ".join(str(v) for v in long_b[r]) + f"}},  // {r}")
    w("};")
    w("")
    w("// Short-block band boundaries in lines per window, [rate index][0..13].")
    w("inline constexpr int16_t kShortBoundary[9][14] = {")
    for r in RATES:
        w("    {" + ", ".join(str(v) for v in short_b[r]) + f"}},  // {r}")
    w("};")
    text = "\n".join(out) + "\n"
    with open(dst, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
