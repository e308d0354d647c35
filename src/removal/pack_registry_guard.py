#!/usr/bin/env python3
"""Writes registry_guard_packed.inc from registry_guard_rows.inc.

The guard's rows are some 3.4 KB of key and value names, much of it the same
few words ("Software\\Microsoft\\Windows", "CurrentControlSet", "shell",
"Explorer"). The packed form codes them by byte-pair encoding: every byte
that no name holds (0x01 to 0x1F and 0x7F to 0xFF; the names are printable
ASCII, and a zero byte ends a list) may stand for a pair of bytes, either of
which may be such a code again, so that the stub carries the names in about
half the room. registry_guard.cpp
checks, while it compiles, that the packed rows unpack to exactly the rows of
registry_guard_rows.inc, and fails to compile when they do not.

Run it again after any change to registry_guard_rows.inc:
  python3 src/removal/pack_registry_guard.py
The output depends only on the rows."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROWS = os.path.join(HERE, "registry_guard_rows.inc")
PACKED = os.path.join(HERE, "registry_guard_packed.inc")

# As registry_guard.cpp numbers them; a key row's tag byte is scope << 2 | mark.
SCOPES = {"CLASSES": 1, "HIVE": 2}
MARKS = {"EXACT": 1, "TREE": 2}
# Code c stands for GUARD_PAIRS[(c - 0x7F) & 0xFF]: 0x7F to 0xFF are entries
# 0 to 128, 0x01 to 0x1F entries 130 to 160; entry 129 would be the zero byte.
def code_of(index):
    return (index + 0x7F) & 0xFF


PAIR_ENTRIES = 161
TOKEN = re.compile(r'"(?:[^"\\]|\\.)*"|[A-Za-z_][A-Za-z0-9_]*|#define|[(),]')


def literal(text):
    """The bytes of one C string literal; the rows use no escape but \\\\."""
    body = text[1:-1].replace("\\\\", "\x00")
    if "\\" in body:
        sys.exit(f"{ROWS}: only \\\\ is understood inside {text}")
    return body.replace("\x00", "\\").encode("ascii")


def read_rows():
    source = re.sub(r"//[^\n]*", "", open(ROWS, encoding="ascii").read())
    defines, key_rows, value_rows = {}, [], []
    lines = source.split("\n")
    rest = []
    for line in lines:
        match = re.match(r"\s*#define\s+(\w+)\s+(.*)$", line)
        if match:
            defines[match.group(1)] = b"".join(literal(t) for t in TOKEN.findall(match.group(2)))
        elif not re.match(r"\s*#undef\s+\w+\s*$", line):
            rest.append(line)
    tokens = TOKEN.findall("\n".join(rest))
    at = 0
    while at < len(tokens):
        kind = tokens[at]
        if kind not in ("KEY_ROW", "VALUE_ROW") or tokens[at + 1] != "(":
            sys.exit(f"{ROWS}: unexpected {kind}")
        at += 2
        arguments, current = [], []
        while tokens[at] != ")":
            if tokens[at] == ",":
                arguments.append(current)
                current = []
            else:
                current.append(tokens[at])
            at += 1
        arguments.append(current)
        at += 1

        def text(parts):
            return b"".join(defines[p] if p in defines else literal(p) for p in parts)

        if kind == "KEY_ROW":
            scope, mark = arguments[0][0], arguments[1][0]
            key_rows.append((SCOPES[scope] << 2 | MARKS[mark], text(arguments[2]), text(arguments[3])))
        else:
            value_rows.append((text(arguments[0]), text(arguments[1])))
    return key_rows, value_rows


def pair_encode(strings):
    """Byte-pair encoding over all strings; ties go to the smallest pair."""
    data = [list(s) for s in strings]
    pairs = []  # by entry; None for the zero byte's
    while len(pairs) < PAIR_ENTRIES:
        if code_of(len(pairs)) == 0:
            pairs.append(None)
            continue
        counts = {}
        for d in data:
            for i in range(len(d) - 1):
                counts[(d[i], d[i + 1])] = counts.get((d[i], d[i + 1]), 0) + 1
        if not counts:
            break
        pair, count = min(counts.items(), key=lambda item: (-item[1], item[0]))
        if count < 3:  # a code costs its two bytes in the pair table
            break
        code = code_of(len(pairs))
        pairs.append(pair)
        for j, d in enumerate(data):
            out, i = [], 0
            while i < len(d):
                if i + 1 < len(d) and (d[i], d[i + 1]) == pair:
                    out.append(code)
                    i += 2
                else:
                    out.append(d[i])
                    i += 1
            data[j] = out
    return pairs, [bytes(d) for d in data]


def c_literal(data, indent):
    """`data` as string literals of at most 100 columns; octal escapes, which
    never run on into the next character, for everything but plain text."""
    pieces = []
    for b in data:
        if 0x20 <= b < 0x7F and chr(b) not in '"\\?':
            pieces.append(chr(b))
        else:
            pieces.append("\\%03o" % b)
    lines, line = [], ""
    for piece in pieces:
        if len(line) + len(piece) > 100 - indent - 2:
            lines.append(line)
            line = ""
        line += piece
    lines.append(line)
    return "\n".join(" " * indent + '"' + l + '"' for l in lines)


def main():
    key_rows, value_rows = read_rows()
    strings = []
    for _, places, names in key_rows:
        strings += [places, names]
    for keys, names in value_rows:
        strings += [keys, names]
    pairs, packed = pair_encode(strings)
    key_blob = b""
    for i, (tag, _, _) in enumerate(key_rows):
        key_blob += bytes([tag]) + packed[2 * i] + b"\0" + packed[2 * i + 1] + b"\0"
    value_blob = b""
    for i in range(len(value_rows)):
        base = 2 * len(key_rows) + 2 * i
        value_blob += packed[base] + b"\0" + packed[base + 1] + b"\0"
    longest = max(len(s) for s in strings)
    raw = sum(len(s) + 1 for s in strings)
    out = [
        "// Written by pack_registry_guard.py from registry_guard_rows.inc; do not edit.",
        f"// {raw} bytes of names in {len(key_blob) + len(value_blob) + 2} bytes of rows and "
        f"{2 * len(pairs)} of pairs; the longest name list has {longest} characters.",
        "",
        "// Code c (any byte but 0 and the printable ASCII that the names are made of)",
        "// stands for the two bytes of GUARD_PAIRS[(c - 0x7F) & 0xFF].",
        "static constexpr unsigned char GUARD_PAIRS[][2] = {",
    ]
    row = "   "
    for pair in pairs:
        a, b = pair if pair else (0, 0)
        item = f" {{{a}, {b}}},"
        if len(row) + len(item) > 100:
            out.append(row)
            row = "   "
        row += item
    out.append(row)
    out += [
        "};",
        "",
        "// Each key row: its tag (scope << 2 | mark), its places and its names, each",
        "// packed and ended by a zero byte; the table ends at a zero tag.",
        "static constexpr char GUARD_KEY_ROWS[] =",
        c_literal(key_blob, 4) + ";",
        "",
        "// Each value row: its keys and its names, packed and ended by a zero byte;",
        "// the table ends at an empty key list.",
        "static constexpr char GUARD_VALUE_ROWS[] =",
        c_literal(value_blob, 4) + ";",
        "",
        f"enum : unsigned {{ GUARD_TEXT_SIZE = {longest + 1} }};  // the longest list and its NUL",
        "",
    ]
    with open(PACKED, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
