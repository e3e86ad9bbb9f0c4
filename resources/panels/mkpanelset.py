#!/usr/bin/env python3
"""Finishes the panel set in OUTDIR once the panels and bitmaps are there:

    mkpanelset.py MESSAGES... OUTDIR

(messages.txt and one messages-<family>.txt per window family that has texts)

writes OUTDIR/strings.txt (one "<id> <langid> <text>" per line, UTF-8, with
line feeds and backslashes escaped) and OUTDIR/KobPanels.rc, the resource
script of the Windows panel DLL: panels as resource type 301, bitmaps,
cursor 5000, icon 5001 and the message texts per language.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from genstrings import LANGS, parse, rc_literal  # noqa: E402


def escaped(text):
    # The source writes a line feed as "\n"; a backslash stays itself.
    return text.replace("\\", "\\\\").replace("\\\\n", "\\n")


def files(folder, ext):
    """(id, absolute path) of the resources of one folder, by id."""
    if not os.path.isdir(folder):
        return []
    out = []
    for name in os.listdir(folder):
        stem, dot, tail = name.partition(".")
        if dot and tail == ext and stem.isdigit():
            out.append((int(stem), os.path.abspath(os.path.join(folder, name))))
    return sorted(out)


def rc_path(path):
    return '"' + path.replace("\\", "/") + '"'


def main(argv):
    if len(argv) < 3:
        print("usage: mkpanelset.py MESSAGES... OUTDIR", file=sys.stderr)
        return 2
    out = argv[-1]
    table = {}
    for messages in argv[1:-1]:
        for sid, texts in parse(messages).items():
            if sid in table:
                print(f"{messages}: message {sid} is defined twice", file=sys.stderr)
                return 1
            table[sid] = texts
    with open(os.path.join(out, "strings.txt"), "w", encoding="utf-8", newline="\n") as f:
        for sid in sorted(table):
            for key, langid, _ in LANGS:
                f.write(f"{sid} {langid} {escaped(table[sid][key])}\n")
    lines = ["// The panel set of the instrument windows; made by the build.",
             "#include <winresrc.h>", "", "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL"]
    lines += [f"{pid} 301 {rc_path(p)}" for pid, p in files(os.path.join(out, "301"), "bin")]
    lines += [f"{bid} BITMAP {rc_path(p)}" for bid, p in files(os.path.join(out, "bitmap"), "bmp")]
    lines += [f"{cid} CURSOR {rc_path(p)}" for cid, p in files(os.path.join(out, "cursor"), "cur")]
    lines += [f"{iid} ICON {rc_path(p)}" for iid, p in files(os.path.join(out, "icon"), "ico")]
    for key, _, lang in LANGS:
        lines += ["", f"LANGUAGE {lang}", "STRINGTABLE", "BEGIN"]
        lines += [f"    {sid}, {rc_literal(table[sid][key])}" for sid in sorted(table)]
        lines.append("END")
    with open(os.path.join(out, "KobPanels.rc"), "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
