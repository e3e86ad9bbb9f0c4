#!/usr/bin/env python3
"""The panel compiler: turns the readable text form of an instrument panel
into the binary panel resource (type 301) that the windows load.

Text form, one statement per line, `#` starts a comment:

    panel type=11 size=420,260 title="Digital I/O" texture=0 needs=0,0,0,0,0,3
    button id=4036 at=120,40 bitmap=5121 repeat=1
    status id=4000 at=380,40 count=16 step=-22,0

`panel` comes first and once. Every other line is a control: its kind, then
named fields. `at=x,y` is required; the size follows from the control's
bitmap unless `size=w,h` is given. `count=N step=dx,dy` repeats a control N
times, moving it by (dx, dy) and counting its id (and a relay's contact) up
by one each time; `{i}` in a text becomes the copy's number, counted from
`first=` (default 0). `include file=NAME at=dx,dy` compiles the controls of
another file (a part shared by several panels) moved by (dx, dy).
Fields left out take the control's default.

Output: header word, 10 need words, width, height, title, image flag,
texture, image file name, extra word, the tagged controls, end tag 32808;
integers little-endian, strings as counted UTF-16 archive strings, fonts in
the record format whose face name is an archive string.
"""
import argparse
import math
import os
import shlex
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "resources", "strips"))
from striptable import STRIPS, image_size  # noqa: E402

END_TAG = 32808
U32_MAX = 0xFFFFFFFF


class PanelError(Exception):
    def __init__(self, where, message):
        super().__init__(f"{where}: {message}")


# Value kinds: each parses the text of a field and range-checks it.
def parse_int(text):
    try:
        return int(text, 0)
    except ValueError:
        raise ValueError(f"expected a number, got '{text}'") from None


def in_range(value, lo, hi):
    if not lo <= value <= hi:
        raise ValueError(f"{value} is out of range {lo}..{hi}")
    return value


class Kind:
    def __init__(self, parse, write):
        self.parse, self.write = parse, write


def int_kind(lo, hi):
    # Negative values are stored as their 32-bit two's complement.
    return Kind(lambda t: in_range(parse_int(t), lo, hi),
                lambda v: struct.pack("<I", v & U32_MAX))


def byte_kind(lo, hi):
    return Kind(lambda t: in_range(parse_int(t), lo, hi), lambda v: struct.pack("<B", v))


def parse_float(text):
    try:
        v = float(text)
    except ValueError:
        raise ValueError(f"expected a number, got '{text}'") from None
    if not math.isfinite(v):
        raise ValueError(f"expected a finite number, got '{text}'")
    return v


def parse_list(text, n, lo, hi, exact):
    parts = text.split(",")
    if len(parts) > n or (exact and len(parts) != n):
        raise ValueError(f"expected {n if exact else 'up to ' + str(n)} values, got {len(parts)}")
    return [in_range(parse_int(p), lo, hi) for p in parts]


def archive_string(text):
    units = text.encode("utf-16-le")
    n = len(units) // 2
    head = b"\xff\xfe\xff"
    if n < 0xFF:
        head += struct.pack("<B", n)
    elif n < 0xFFFE:
        head += b"\xff" + struct.pack("<H", n)
    else:
        head += b"\xff\xff\xff" + struct.pack("<I", n)
    return head + units


U32 = int_kind(0, U32_MAX)
I32 = int_kind(-(1 << 31), (1 << 31) - 1)
BOOL = int_kind(0, 1)
BITMAP = int_kind(1, 0xFFFF)
F64 = Kind(parse_float, lambda v: struct.pack("<d", v))
STR = Kind(lambda t: t, archive_string)
POINT = Kind(lambda t: parse_list(t, 2, -32768, 32767, True), None)
SIZE = Kind(lambda t: parse_list(t, 2, 1, 32767, True), None)
ID = int_kind(-1, 0xFFFF)
FLAGS = int_kind(0, 0x1F)
FLAG8 = byte_kind(0, 1)

# The font record: five words, eight bytes, the face name.
FONT = [("height", I32, -9), ("width", I32, 0), ("escapement", I32, 0),
        ("orientation", I32, 0), ("weight", int_kind(0, 1000), 400),
        ("italic", FLAG8, 0), ("underline", FLAG8, 0), ("strikeout", FLAG8, 0),
        ("charset", byte_kind(0, 255), 0), ("precision", byte_kind(0, 255), 0),
        ("clipping", byte_kind(0, 255), 0), ("quality", byte_kind(0, 255), 0),
        ("pitch", byte_kind(0, 255), 0), ("font", STR, "Tahoma")]

FRAME_DEFAULTS = [0, 10, 5, 10, 6, 2, 2, 0xFFFFFF, 0, 0xC0C0C0]


class Control:
    """A control kind: its tag, base defaults, fields in stored order, how
    many images its strip holds, and how it is sized."""

    def __init__(self, tag, fields, id=0, flags=1, images=None, sizing="strip", counter=None):
        self.tag, self.fields, self.id, self.flags = tag, fields, id, flags
        self.images, self.sizing, self.counter = images, sizing, counter


def with_font(font_height, weight=400, face="Tahoma"):
    out = []
    for name, kind, default in FONT:
        if name == "height":
            default = font_height
        elif name == "weight":
            default = weight
        elif name == "font":
            default = face
        out.append((name, kind, default))
    return out


CONTROLS = {
    "label": Control(32809, with_font(-9) + [("color", U32, 0xFFFFFF), ("text", STR, "")],
                     id=-1, flags=3, sizing="text"),
    "bitmap": Control(32810, [("bitmap", BITMAP, 5500)], id=-1, flags=3, images=1),
    "status": Control(32811, [("bitmap", BITMAP, 5143)], flags=3, images=2),
    "power": Control(32813, [("bitmap", BITMAP, 5141), ("on", BOOL, 0)], images=5),
    "seg7": Control(32814, [("digits", int_kind(1, 32), 4)], flags=3, sizing="digits"),
    "button": Control(32816, [("bitmap", BITMAP, 5120), ("repeat", BOOL, 1)], images=2),
    "wordseg7": Control(32817, [("digits", int_kind(1, 32), 7), ("mode", U32, 0),
                                ("radix", int_kind(0, 2), 0)], flags=3, sizing="digits"),
    "radio": Control(32818, [("bitmap", BITMAP, 5131), ("checked", BOOL, 0)] + with_font(-9) +
                     [("text", STR, "")], images=4, sizing="radio"),
    "check": Control(32820, [("bitmap", BITMAP, 5130), ("checked", BOOL, 0)], images=4),
    "frame": Control(32822, [("values", None, FRAME_DEFAULTS)], id=-1, flags=7, sizing="given"),
    "relay": Control(32823, [("contact", byte_kind(0, 15), 0)], id=-1, flags=3, images=2,
                     sizing="contact", counter="contact"),
    "lcd": Control(32824, [("bitmap", BITMAP, 5153), ("columns", int_kind(1, 1024), 128),
                           ("rows", int_kind(8, 1024), 64)], flags=3, sizing="lcd"),
    "knob": Control(32825, [("bitmap", BITMAP, 5200), ("positions", int_kind(1, 64), 5),
                            ("position", int_kind(0, 63), 0)], flags=3, sizing="knob"),
    "menu": Control(32827, [("bitmap", BITMAP, 5260), ("menu", int_kind(0, 0xFFFF), None)],
                    id=6000, images=2),
    "gauge": Control(32828, [("start", F64, 0.0), ("end", F64, 50.0), ("factor", F64, 1.0),
                             ("radius", None, None), ("inset", int_kind(0, 100), 5),
                             ("startangle", F64, 2 * math.pi / 3),
                             ("endangle", F64, 3 * math.pi / 2),
                             ("tip", int_kind(0, 1000), 120), ("basewidth", int_kind(0, 100), 5),
                             ("color", U32, 0)], id=-1, flags=7, sizing="gauge"),
    # The display of the three-phase windows: periods shown, background.
    "phasedisp": Control(32819, [("periods", int_kind(1, 8), 2), ("background", U32, 0x0C1A10)],
                         flags=3, sizing="given"),
    "meterlcd": Control(32826, [("face", U32, 0xAAD6C6), ("color", U32, 0x182018)] +
                        with_font(-28, 700, "Courier New"), flags=3, sizing="given"),
    "metralcd": Control(32829, [("face", U32, 0x9CC4A8), ("ink", U32, 0x182018),
                                ("digitheight", int_kind(8, 400), 40)], flags=3,
                        sizing="given"),
    # A control the window makes itself: the rectangle, then id and flags
    # stored as the two words the window is given.
    "custom": Control(32850, [], flags=0, sizing="given"),
}
# The second pointer instrument: the fields of the first, its own tag.
CONTROLS["gauge1"] = Control(32831, CONTROLS["gauge"].fields, id=-1, flags=7, sizing="gauge")
FRAME_VALUES = Kind(lambda t: parse_list(t, 10, 0, U32_MAX, False), None)
REPEAT_FIELDS = {"count": int_kind(1, 256), "step": Kind(POINT.parse, None),
                 "first": int_kind(-(1 << 31), (1 << 31) - 1)}
PANEL_FIELDS = {"type": int_kind(0, 0xFFFF), "size": SIZE, "title": STR, "texture":
                int_kind(0, 0xFFFF - 5110), "image": STR, "extra": U32, "header": U32,
                "needs": Kind(lambda t: parse_list(t, 10, 0, U32_MAX, False), None)}


def strip_image(where, bitmap, name):
    size = image_size(bitmap)
    if size is None:
        raise PanelError(where, f"{name}: bitmap {bitmap} is not one of ours, give size=w,h")
    return size


def text_width(text, height):
    # A fair guess for the proportional panel fonts; labels may give a size.
    return max(1, math.ceil(len(text) * abs(height) * 0.62))


def control_size(where, name, ctl, v):
    """Rectangle size of a control from its bitmap or contents."""
    how = ctl.sizing
    if how == "strip":
        if ctl.images is not None and v["bitmap"] in STRIPS:
            have = STRIPS[v["bitmap"]][1]
            if have != ctl.images:
                raise PanelError(where, f"{name}: bitmap {v['bitmap']} holds {have} images, "
                                        f"a {name} needs {ctl.images}")
        return strip_image(where, v["bitmap"], name)
    if how == "text":
        return text_width(v["text"], v["height"]), abs(v["height"]) + 4
    if how == "radio":
        w, h = strip_image(where, v["bitmap"], name)
        return w + 4 + text_width(v["text"], v["height"]), max(h, abs(v["height"]) + 4)
    if how == "digits":
        w, h = image_size(5146)
        return v["digits"] * w, h
    if how == "contact":
        return image_size(5144)
    if how == "lcd":
        w, h = strip_image(where, v["bitmap"], name)
        return v["columns"] * w, v["rows"] * h // 8
    if how == "knob":
        if v["position"] >= v["positions"]:
            raise PanelError(where, f"position {v['position']} is beyond the "
                                    f"{v['positions']} positions")
        if v["bitmap"] in STRIPS and STRIPS[v["bitmap"]][1] != v["positions"]:
            raise PanelError(where, f"bitmap {v['bitmap']} holds {STRIPS[v['bitmap']][1]} "
                                    f"images, not {v['positions']} positions")
        return strip_image(where, v["bitmap"], name)
    if how == "gauge":
        return image_size(5270)
    raise PanelError(where, f"{name} needs size=w,h")


def split_fields(where, tokens):
    fields = {}
    for tok in tokens:
        key, eq, value = tok.partition("=")
        if not eq or not key:
            raise PanelError(where, f"expected name=value, got '{tok}'")
        if key in fields:
            raise PanelError(where, f"field '{key}' given twice")
        fields[key] = value
    return fields


def parse_value(where, key, kind, text):
    try:
        return kind.parse(text)
    except ValueError as e:
        raise PanelError(where, f"field '{key}': {e}") from None


def compile_control(where, name, fields):
    ctl = CONTROLS.get(name)
    if ctl is None:
        raise PanelError(where, f"unknown control '{name}' (known: panel, "
                                f"{', '.join(sorted(CONTROLS))})")
    kinds = {"id": ID, "at": POINT, "size": SIZE, "flags": FLAGS, **REPEAT_FIELDS}
    for fname, kind, _ in ctl.fields:
        if fname == "values":
            kinds[fname] = FRAME_VALUES
        elif kind is not None:
            kinds[fname] = kind
    values = {"id": ctl.id, "flags": ctl.flags, "count": 1, "step": [0, 0], "first": 0}
    values.update({f: d for f, _, d in ctl.fields})
    for key, text in fields.items():
        if key not in kinds:
            raise PanelError(where, f"unknown field '{key}' for {name}")
        values[key] = parse_value(where, key, kinds[key], text)
    if "at" not in values:
        raise PanelError(where, f"missing field 'at' for {name}")
    if name == "frame":
        values["values"] = values["values"] + FRAME_DEFAULTS[len(values["values"]):]
    if name == "menu" and values["menu"] is None:
        values["menu"] = values["id"] & 0xFFFF
    if name == "frame" and "size" not in values:
        raise PanelError(where, "missing field 'size' for frame")
    size = values.get("size") or control_size(where, name, ctl, values)
    out = []
    for n in range(values["count"]):
        v = dict(values)
        if v["id"] != -1 and n:
            v["id"] = in_range(v["id"] + n, -1, 0xFFFF)
        if ctl.counter and n:
            v[ctl.counter] = parse_value(where, ctl.counter, kinds[ctl.counter],
                                         str(v[ctl.counter] + n))
        if "text" in v:
            v["text"] = v["text"].replace("{i}", str(v["first"] + n))
        x, y = v["at"][0] + n * v["step"][0], v["at"][1] + n * v["step"][1]
        out.append((where, (x, y, x + size[0], y + size[1]), serialize(ctl, v, x, y, size)))
    return out


def serialize(ctl, v, x, y, size):
    data = struct.pack("<I", ctl.tag)
    data += struct.pack("<iiii", x, y, x + size[0], y + size[1])
    data += struct.pack("<II", v["id"] & U32_MAX, v["flags"])
    for fname, kind, _ in ctl.fields:
        if fname == "values":
            data += struct.pack("<10I", *v["values"])
        elif fname == "radius":
            data += struct.pack("<I", size[0] // 2)
        else:
            data += kind.write(v[fname])
    return data


def compile_lines(text, filename, head, offset=(0, 0), depth=0):
    """The controls of a panel text (or of a part it includes); fills head
    from the 'panel' line."""
    controls = []
    for lineno, line in enumerate(text.splitlines(), 1):
        where = f"{filename}:{lineno}"
        try:
            tokens = shlex.split(line, comments=True)
        except ValueError as e:
            raise PanelError(where, str(e)) from None
        if not tokens:
            continue
        name, fields = tokens[0], split_fields(where, tokens[1:])
        if name == "panel":
            if head or depth:
                raise PanelError(where, "a second 'panel' line")
            head.update({"header": 1, "title": "", "texture": 0, "image": "", "extra": 0,
                         "needs": []})
            for key, value in fields.items():
                if key not in PANEL_FIELDS:
                    raise PanelError(where, f"unknown field '{key}' for panel")
                head[key] = parse_value(where, key, PANEL_FIELDS[key], value)
            for key in ("type", "size"):
                if key not in head:
                    raise PanelError(where, f"missing field '{key}' for panel")
        elif not head:
            raise PanelError(where, "the 'panel' line must come first")
        elif name == "include":
            controls += include(where, filename, fields, head, offset, depth)
        else:
            if "at" in fields:
                x, y = parse_value(where, "at", POINT, fields["at"])
                fields["at"] = f"{x + offset[0]},{y + offset[1]}"
            controls += compile_control(where, name, fields)
    return controls


def include(where, filename, fields, head, offset, depth):
    """A part of a panel kept in its own file, moved by at=dx,dy."""
    unknown = set(fields) - {"file", "at"}
    if unknown:
        raise PanelError(where, f"unknown field '{sorted(unknown)[0]}' for include")
    if "file" not in fields:
        raise PanelError(where, "missing field 'file' for include")
    if depth >= 8:
        raise PanelError(where, "includes nested too deep")
    dx, dy = parse_value(where, "at", POINT, fields.get("at", "0,0"))
    path = os.path.join(os.path.dirname(filename), fields["file"])
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise PanelError(where, f"cannot read '{fields['file']}': {e}") from None
    return compile_lines(text, path, head, (offset[0] + dx, offset[1] + dy), depth + 1)


def compile_text(text, filename="<panel>"):
    """The panel's type and its binary resource; PanelError on bad input."""
    head = {}
    controls = compile_lines(text, filename, head)
    if not head:
        raise PanelError(filename, "no 'panel' line")
    width, height = head["size"]
    for where, (left, top, right, bottom), _ in controls:
        if left < 0 or top < 0 or right > width or bottom > height:
            raise PanelError(where, f"control ({left},{top})-({right},{bottom}) lies outside "
                                    f"the {width} x {height} panel")
    needs = head["needs"] + [0] * (10 - len(head["needs"]))
    data = struct.pack("<I10III", head["header"], *needs, width, height)
    data += archive_string(head["title"])
    data += struct.pack("<II", 1 if head["image"] else 0, head["texture"])
    data += archive_string(head["image"]) + struct.pack("<I", head["extra"])
    data += b"".join(c[2] for c in controls) + struct.pack("<I", END_TAG)
    return head["type"], data


def main(argv=None):
    ap = argparse.ArgumentParser(description="Compile instrument panels to their binary form.")
    ap.add_argument("panels", nargs="+", help="panel text files")
    out = ap.add_mutually_exclusive_group(required=True)
    out.add_argument("-o", "--output", help="the binary panel (one input only)")
    out.add_argument("-d", "--directory", help="write <type>.bin for each panel here")
    args = ap.parse_args(argv)
    if args.output and len(args.panels) != 1:
        ap.error("-o takes exactly one panel")
    try:
        results = []
        for path in args.panels:
            with open(path, encoding="utf-8") as f:
                results.append(compile_text(f.read(), path))
    except (OSError, UnicodeDecodeError) as e:
        print(f"panelc: {e}", file=sys.stderr)
        return 1
    except PanelError as e:
        print(f"panelc: {e}", file=sys.stderr)
        return 1
    seen = {}
    for path, (ptype, _) in zip(args.panels, results):
        if ptype in seen:
            print(f"panelc: {path}: type {ptype} is also {seen[ptype]}", file=sys.stderr)
            return 1
        seen[ptype] = path
    if args.directory:
        os.makedirs(args.directory, exist_ok=True)
    for path, (ptype, data) in zip(args.panels, results):
        target = args.output or os.path.join(args.directory, f"{ptype}.bin")
        with open(target, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
