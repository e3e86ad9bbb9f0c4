#!/usr/bin/env python3
"""Turns resources/strings.txt into the lookup table of the portable code
and into the string tables of the Windows resource script."""
import re
import sys

LANGS = [  # key, LANGID, LANGUAGE statement of the resource script
    ("en", 1033, "LANG_ENGLISH, SUBLANG_ENGLISH_US"),
    ("de", 1031, "LANG_GERMAN, SUBLANG_GERMAN"),
    ("fr", 1036, "LANG_FRENCH, SUBLANG_FRENCH"),
    ("es", 3082, "LANG_SPANISH, SUBLANG_SPANISH_MODERN"),
]


def parse(path):
    table = {}
    current = None
    for lineno, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        m = re.fullmatch(r"\[(\d+)\]", line.strip())
        if m:
            current = int(m.group(1))
            if current in table:
                sys.exit(f"{path}:{lineno}: id {current} given twice")
            table[current] = {}
            continue
        m = re.fullmatch(r"(en|de|fr|es): (.*)", line)
        if not m or current is None:
            sys.exit(f"{path}:{lineno}: expected '[id]' or 'lang: text'")
        table[current][m.group(1)] = m.group(2)
    for sid, texts in table.items():
        missing = [k for k, _, _ in LANGS if k not in texts]
        if missing:
            sys.exit(f"{path}: id {sid} lacks {', '.join(missing)}")
    return table


def units(text):
    """UTF-16 code units of a text with its \\n escapes resolved."""
    text = text.replace("\\n", "\n")
    data = text.encode("utf-16-le")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


def cxx_literal(text):
    out = []
    for u in units(text):
        c = chr(u)
        if c == "\n":
            out.append("\\n")
        elif c in "\\\"":
            out.append("\\" + c)
        elif 0x20 <= u < 0x7F:
            out.append(c)
        else:
            out.append("\\x%04x\" u\"" % u)
    return 'u"' + "".join(out) + '"'


def rc_literal(text):
    out = []
    for u in units(text):
        c = chr(u)
        if c == "\n":
            out.append("\\n")
        elif c == '"':
            out.append('""')
        elif c == "\\":
            out.append("\\\\")
        elif 0x20 <= u < 0x7F:
            out.append(c)
        else:
            out.append("\\x%04x" % u)
    return 'L"' + "".join(out) + '"'


def main():
    src, inc, rc = sys.argv[1:4]
    table = parse(src)
    with open(inc, "w", encoding="ascii") as f:
        f.write("// Generated from resources/strings.txt; do not edit.\n")
        for sid in sorted(table):
            args = ", ".join(cxx_literal(table[sid][k]) for k, _, _ in LANGS)
            f.write(f"KOB_STRING({sid}, {args})\n")
    with open(rc, "w", encoding="ascii") as f:
        f.write("// Generated from resources/strings.txt; do not edit.\n")
        f.write("#include <winresrc.h>\n\n")
        for key, _, lang in LANGS:
            f.write(f"LANGUAGE {lang}\nSTRINGTABLE\nBEGIN\n")
            for sid in sorted(table):
                f.write(f"    {sid}, {rc_literal(table[sid][key])}\n")
            f.write("END\n\n")


if __name__ == "__main__":
    main()
