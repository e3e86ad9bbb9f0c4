#!/usr/bin/env python3
"""Draws the bitmaps of the instrument panels (image strips, textures, the
hand cursor and the icon) and writes them for both hosts:

    genstrips.py OUTDIR

OUTDIR/bitmap/<id>.png and OUTDIR/bitmap/<id>.bmp (24-bit), OUTDIR/cursor/
5000.png, 5000.hotspot ("x y") and 5000.cur, OUTDIR/icon/5001.png and
5001.ico. Magenta (0xFF00FF) marks what is transparent: shapes are drawn
anti-aliased on a clear surface, then every pixel is either opaque or
magenta, so that no pink seam shows around a shape.
"""
import math
import os
import struct
import sys

import cairo

from striptable import CURSOR_HOTSPOT, CURSOR_ID, CURSOR_SIZE, FAMILY_MODULES, ICON_ID, ICON_SIZES, STRIPS

MAGENTA = (1.0, 0.0, 1.0)
TEXT_FONT = "DejaVu Sans"


def hexrgb(v):
    return ((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0


def fill_outlined(ctx, fill, line, width):
    """Fills the current path and draws its outline."""
    ctx.set_source_rgb(*hexrgb(fill))
    ctx.fill_preserve()
    ctx.set_source_rgb(*hexrgb(line))
    ctx.set_line_width(width)
    ctx.stroke()


def rounded(ctx, x, y, w, h, r):
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def vertical(ctx, y0, y1, top, bottom):
    g = cairo.LinearGradient(0, y0, 0, y1)
    g.add_color_stop_rgb(0, *hexrgb(top))
    g.add_color_stop_rgb(1, *hexrgb(bottom))
    ctx.set_source(g)


def text(ctx, s, cx, cy, size, colour, bold=True):
    ctx.select_font_face(TEXT_FONT, cairo.FONT_SLANT_NORMAL,
                         cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(size)
    ext = ctx.text_extents(s)
    ctx.move_to(cx - ext.width / 2 - ext.x_bearing, cy - ext.height / 2 - ext.y_bearing)
    ctx.set_source_rgb(*hexrgb(colour))
    ctx.show_text(s)


# --- Push buttons -----------------------------------------------------------

def button_face(ctx, w, h, pressed, top=0xE8E8E8, bottom=0x9A9A9A):
    rounded(ctx, 0.5, 0.5, w - 1, h - 1, 3)
    vertical(ctx, 0, h, bottom if pressed else top, top if pressed else bottom)
    ctx.fill_preserve()
    ctx.set_source_rgb(*hexrgb(0x303030))
    ctx.set_line_width(1)
    ctx.stroke()
    if pressed:
        ctx.translate(1, 1)


def arrow(ctx, cx, cy, up, size=5):
    d = -1 if up else 1
    ctx.move_to(cx - size, cy - d * size / 2)
    ctx.line_to(cx + size, cy - d * size / 2)
    ctx.line_to(cx, cy + d * size / 2)
    ctx.close_path()
    ctx.set_source_rgb(*hexrgb(0x202020))
    ctx.fill()


def button_glyph(glyph):
    def draw(ctx, w, h, image):
        button_face(ctx, w, h, image == 1)
        if glyph in ("up", "down"):
            arrow(ctx, w / 2, h / 2, glyph == "up")
        elif glyph in ("up-fast", "down-fast"):
            up = glyph == "up-fast"
            arrow(ctx, w / 2, h / 2 - 3, up)
            arrow(ctx, w / 2, h / 2 + 3, up)
        elif glyph:
            text(ctx, glyph, w / 2, h / 2, 9, 0x202020)
    return draw


def menu_button(ctx, w, h, image):
    button_face(ctx, w, h, image == 1)
    arrow(ctx, w - 10, h / 2, False, 4)
    ctx.set_source_rgb(*hexrgb(0x606060))
    ctx.rectangle(w - 19, 4, 1, h - 8)
    ctx.fill()


# --- Toggles: off, off pressed, on, on pressed -------------------------------

def checkbox(ctx, w, h, image):
    pressed, checked = image & 1, image >= 2
    ctx.rectangle(1.5, 1.5, w - 3, h - 3)
    fill_outlined(ctx, 0xB8B8B8 if pressed else 0xFFFFFF, 0x202020, 1.5)
    if checked:
        ctx.move_to(4, h / 2)
        ctx.line_to(w / 2 - 1, h - 4.5)
        ctx.line_to(w - 3.5, 3.5)
        ctx.set_line_width(2.2)
        ctx.set_source_rgb(*hexrgb(0x006000))
        ctx.stroke()


def radio(ctx, w, h, image):
    pressed, checked = image & 1, image >= 2
    ctx.arc(w / 2, h / 2, w / 2 - 1, 0, 2 * math.pi)
    fill_outlined(ctx, 0xB8B8B8 if pressed else 0xFFFFFF, 0x202020, 1.3)
    if checked:
        ctx.arc(w / 2, h / 2, w / 4 - 0.5, 0, 2 * math.pi)
        ctx.set_source_rgb(*hexrgb(0x102070))
        ctx.fill()


def switch(ctx, w, h, image):
    pressed, on = image & 1, image >= 2
    rounded(ctx, 2, 2, w - 4, h - 4, 4)
    ctx.set_source_rgb(*hexrgb(0x404040))
    ctx.fill()
    lever_y = 4 if on else h / 2
    rounded(ctx, 4, lever_y, w - 8, h / 2 - 4, 3)
    vertical(ctx, lever_y, lever_y + h / 2, 0xA0A0A0 if pressed else 0xF0F0F0, 0x808080)
    ctx.fill()


def power_button(ctx, w, h, image):
    disabled = image == 4
    pressed, on = image & 1 and not disabled, image in (2, 3)
    r = w / 2 - 1
    ctx.arc(w / 2, h / 2, r, 0, 2 * math.pi)
    ring = 0x909090 if disabled else (0x20D020 if on else 0x505050)
    ctx.set_source_rgb(*hexrgb(ring))
    ctx.fill()
    ctx.arc(w / 2, h / 2, r - 3, 0, 2 * math.pi)
    face = 0xC8C8C8 if disabled else (0x303030 if pressed else 0x484848)
    ctx.set_source_rgb(*hexrgb(face))
    ctx.fill()
    # The power sign: an open ring and a bar.
    sign = 0xA0A0A0 if disabled else (0x40FF40 if on else 0xE0E0E0)
    ctx.set_source_rgb(*hexrgb(sign))
    ctx.set_line_width(2.2)
    ctx.arc(w / 2, h / 2 + 1, r / 2.3, -math.pi / 2 + 0.6, 3 * math.pi / 2 - 0.6)
    ctx.stroke()
    ctx.move_to(w / 2, h / 2 - r / 2)
    ctx.line_to(w / 2, h / 2 + 1)
    ctx.stroke()


# --- Displays ------------------------------------------------------------------

def lamp(ctx, w, h, image):
    ctx.arc(w / 2, h / 2, w / 2 - 0.5, 0, 2 * math.pi)
    ctx.set_source_rgb(*hexrgb(0x303030))
    ctx.fill()
    g = cairo.RadialGradient(w / 2 - 2, h / 2 - 2, 1, w / 2, h / 2, w / 2 - 2)
    if image:
        g.add_color_stop_rgb(0, 1.0, 0.85, 0.85)
        g.add_color_stop_rgb(0.4, 1.0, 0.1, 0.1)
        g.add_color_stop_rgb(1, 0.7, 0.0, 0.0)
    else:
        g.add_color_stop_rgb(0, 0.45, 0.2, 0.2)
        g.add_color_stop_rgb(1, 0.25, 0.05, 0.05)
    ctx.arc(w / 2, h / 2, w / 2 - 2, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()


def contact(ctx, w, h, image):
    # Two terminals and the moving blade; image 1 is the closed contact.
    ctx.set_source_rgb(*hexrgb(0x202020))
    ctx.set_line_width(2)
    ctx.move_to(0, h - 5)
    ctx.line_to(8, h - 5)
    ctx.move_to(w - 8, h - 5)
    ctx.line_to(w, h - 5)
    ctx.stroke()
    for x in (9, w - 9):
        ctx.arc(x, h - 5, 2.5, 0, 2 * math.pi)
        ctx.fill()
    ctx.set_source_rgb(*hexrgb(0xC00000 if image else 0x202020))
    ctx.move_to(9, h - 5)
    ctx.line_to(w - 10, h - 7 if image else 2)
    ctx.stroke()


# Segments a-g as lit by each picture: 0-9, a-f, blank, minus.
SEGMENTS = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg",
            "abcdfg", "abcefg", "cdefg", "adef", "bcdeg", "adefg", "aefg", "", "g"]


def digit(ctx, w, h, image):
    ctx.rectangle(0, 0, w, h)
    ctx.set_source_rgb(*hexrgb(0x180404))
    ctx.fill()
    t, x0, x1, y0, ym, y1 = 2.2, 3.0, w - 3.0, 2.5, h / 2, h - 2.5
    bars = {"a": (x0, y0, x1, y0), "g": (x0, ym, x1, ym), "d": (x0, y1, x1, y1),
            "f": (x0, y0, x0, ym), "b": (x1, y0, x1, ym), "e": (x0, ym, x0, y1),
            "c": (x1, ym, x1, y1)}
    for seg, (ax, ay, bx, by) in bars.items():
        lit = seg in SEGMENTS[image]
        ctx.set_source_rgb(*hexrgb(0xFF3020 if lit else 0x3A0C08))
        ctx.set_line_width(t)
        ctx.set_line_cap(cairo.LINE_CAP_ROUND)
        gap = 1.3
        if ax == bx:
            ctx.move_to(ax, ay + gap)
            ctx.line_to(bx, by - gap)
        else:
            ctx.move_to(ax + gap, ay)
            ctx.line_to(bx - gap, by)
        ctx.stroke()


def lcd_dots(ctx, w, h, image):
    for bit in range(8):
        ctx.rectangle(0, bit, w, 1)
        ctx.set_source_rgb(*hexrgb(0x102010 if image >> bit & 1 else 0x9CC49C))
        ctx.fill()


def knob(ctx, w, h, image, positions=5):
    cx, cy, r = w / 2, h / 2, w / 2 - 2
    g = cairo.RadialGradient(cx - 4, cy - 4, 2, cx, cy, r)
    g.add_color_stop_rgb(0, *hexrgb(0x707070))
    g.add_color_stop_rgb(1, *hexrgb(0x1C1C1C))
    ctx.arc(cx, cy, r, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()
    # The pointer turns from -135 to +135 degrees over the positions.
    a = math.radians(-135 + 270 * image / max(1, positions - 1)) - math.pi / 2
    ctx.move_to(cx + math.cos(a) * 4, cy + math.sin(a) * 4)
    ctx.line_to(cx + math.cos(a) * (r - 2), cy + math.sin(a) * (r - 2))
    ctx.set_source_rgb(1, 1, 1)
    ctx.set_line_width(3)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.stroke()


GAUGE_START, GAUGE_END = 2 * math.pi / 3, 3 * math.pi / 2


def gauge_face(ctx, w, h, image):
    rounded(ctx, 0.5, 0.5, w - 1, h - 1, 6)
    fill_outlined(ctx, 0xF4F0E0, 0x404040, 1)
    # Ticks where the needle points for 0, 1/10, ... of the scale.
    px, py = w // 2, h
    for k in range(11):
        theta = (GAUGE_START - GAUGE_END) * k / 10 - GAUGE_START
        inner = 58 if k % 5 else 52
        ctx.move_to(px + math.sin(theta) * inner, py + math.cos(theta) * inner)
        ctx.line_to(px + math.sin(theta) * 66, py + math.cos(theta) * 66)
    ctx.set_line_width(1.5)
    ctx.set_source_rgb(*hexrgb(0x202020))
    ctx.stroke()


# Full scale of each range label, image 8 - r for range r.
GAUGE_LABELS = ["50 V", "20 V", "10 V", "5 V", "2 V", "1 V", "500 mV", "200 mV", "100 mV",
                "", ""]


def gauge_label(ctx, w, h, image):
    label = GAUGE_LABELS[image]
    if label:
        text(ctx, "0 ... " + label, w / 2, h / 2, 10, 0x202020, bold=False)


def placeholder(ctx, w, h, image):
    ctx.rectangle(0, 0, w, h)
    ctx.set_source_rgb(*hexrgb(0xD0D0D0))
    ctx.fill()
    ctx.set_source_rgb(*hexrgb(0x808080))
    ctx.set_line_width(2)
    ctx.rectangle(1, 1, w - 2, h - 2)
    ctx.move_to(1, 1)
    ctx.line_to(w - 1, h - 1)
    ctx.move_to(w - 1, 1)
    ctx.line_to(1, h - 1)
    ctx.stroke()


def texture(base, grain, seed):
    def draw(ctx, w, h, image):
        ctx.rectangle(0, 0, w, h)
        ctx.set_source_rgb(*hexrgb(base))
        ctx.fill()
        # A fixed pseudo-random grain, the same on every build, that tiles
        # without seams (lines wrap around the tile's edges).
        state = seed
        for _ in range(48):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            y = state % h
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            shade = grain if state & 1 else -grain
            r, g, b = hexrgb(base)
            ctx.set_source_rgb(min(1, max(0, r + shade)), min(1, max(0, g + shade)),
                               min(1, max(0, b + shade)))
            ctx.rectangle(0, y, w, 1)
            ctx.fill()
    return draw


PAINTERS = {
    "texture-steel": texture(0x8C9096, 0.025, 7),
    "texture-blue": texture(0x2E4A6E, 0.02, 11),
    "texture-graphite": texture(0x3A3C40, 0.02, 13),
    "texture-sand": texture(0xC8B890, 0.02, 17),
    "button": button_glyph(""),
    "button-up": button_glyph("up"),
    "button-down": button_glyph("down"),
    "button-up-fast": button_glyph("up-fast"),
    "button-down-fast": button_glyph("down-fast"),
    "button-on": button_glyph("ON"),
    "button-off": button_glyph("OFF"),
    "button-toggle": button_glyph("\u21c4"),
    "checkbox": checkbox,
    "radio": radio,
    "switch": switch,
    "power": power_button,
    "lamp": lamp,
    "contact": contact,
    "digits": digit,
    "lcd-dots": lcd_dots,
    "knob": knob,
    "menu-button": menu_button,
    "gauge-face": gauge_face,
    "gauge-labels": gauge_label,
    "placeholder": placeholder,
}


def all_painters():
    """The painters above and those of every window family's strip module."""
    painters = dict(PAINTERS)
    for module in FAMILY_MODULES:
        painters.update(module.painters())
    return painters


# --- Output ------------------------------------------------------------------

def flatten(surface):
    """An RGB24 surface of an ARGB32 one: pixels at least half covered
    become opaque in their own colour, the others magenta."""
    surface.flush()
    w, h, stride = surface.get_width(), surface.get_height(), surface.get_stride()
    src = surface.get_data()
    out = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
    dst = out.get_data()
    for y in range(h):
        for x in range(w):
            i = y * stride + x * 4
            b, g, r, a = src[i], src[i + 1], src[i + 2], src[i + 3]
            if a >= 128:
                # Premultiplied: undo it so that edges keep their colour.
                px = bytes((min(255, b * 255 // a), min(255, g * 255 // a),
                            min(255, r * 255 // a), 255))
            else:
                px = b"\xff\x00\xff\xff"
            j = y * out.get_stride() + x * 4
            dst[j:j + 4] = px
    out.mark_dirty()
    return out


def rgb_rows(surface):
    """Rows of (r, g, b) tuples, top first."""
    w, h, stride = surface.get_width(), surface.get_height(), surface.get_stride()
    data = bytes(surface.get_data())
    return [[(data[y * stride + x * 4 + 2], data[y * stride + x * 4 + 1],
              data[y * stride + x * 4]) for x in range(w)] for y in range(h)]


def bmp_bytes(surface):
    """A 24-bit Windows bitmap file, rows bottom up, padded to 4 bytes."""
    w, h = surface.get_width(), surface.get_height()
    pad = (4 - w * 3 % 4) % 4
    pixels = b"".join(b"".join(bytes((b, g, r)) for r, g, b in row) + b"\0" * pad
                      for row in reversed(rgb_rows(surface)))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 54) + header + pixels


def draw_strip(name, images, w, h, painters=None):
    painter = (painters or PAINTERS)[name]
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, images * w, h)
    for image in range(images):
        ctx = cairo.Context(surface)
        ctx.rectangle(image * w, 0, w, h)
        ctx.clip()
        ctx.translate(image * w, 0)
        if name == "knob":
            painter(ctx, w, h, image, images)
        else:
            painter(ctx, w, h, image)
    return flatten(surface)


def hand(size):
    """The pointing hand over clickable controls, on a clear surface."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(surface)
    ctx.scale(size / 32, size / 32)
    # Index finger up, three folded fingers, thumb, palm.
    ctx.move_to(9.5, 16)
    ctx.line_to(9.5, 4)
    ctx.curve_to(9.5, 1, 13.5, 1, 13.5, 4)
    ctx.line_to(13.5, 12)
    for x in (13.5, 17.5, 21.5):
        ctx.curve_to(x, 10, x + 4, 10, x + 4, 12.5)
    ctx.line_to(25.5, 21)
    ctx.curve_to(25.5, 26, 23, 29, 19, 29)
    ctx.line_to(14, 29)
    ctx.curve_to(11, 29, 9, 27, 7, 24)
    ctx.line_to(3.5, 18)
    ctx.curve_to(2.5, 16, 4.5, 14, 6.5, 15.5)
    ctx.close_path()
    ctx.set_source_rgb(1, 1, 1)
    ctx.fill_preserve()
    ctx.set_source_rgb(0, 0, 0)
    ctx.set_line_width(1.4)
    ctx.stroke()
    for x in (17.5, 21.5):
        ctx.move_to(x, 12.5)
        ctx.line_to(x, 17)
    ctx.set_line_width(1)
    ctx.stroke()
    return surface


def app_icon(size):
    """The windows' icon: a small front panel with a lit lamp and a dial."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(surface)
    ctx.scale(size / 32, size / 32)
    rounded(ctx, 1, 3, 30, 26, 4)
    vertical(ctx, 3, 29, 0x4A6C94, 0x223852)
    ctx.fill()
    ctx.arc(9, 12, 4, 0, 2 * math.pi)
    ctx.set_source_rgb(1, 0.15, 0.1)
    ctx.fill()
    ctx.arc(21, 19, 6.5, 0, 2 * math.pi)
    ctx.set_source_rgb(0.92, 0.92, 0.92)
    ctx.fill()
    ctx.move_to(21, 19)
    ctx.line_to(24.5, 14.5)
    ctx.set_source_rgb(0, 0, 0)
    ctx.set_line_width(1.6)
    ctx.stroke()
    rounded(ctx, 5, 20, 9, 5, 1.5)
    ctx.set_source_rgb(0.85, 0.85, 0.85)
    ctx.fill()
    return surface


def dib_entry(surface):
    """An icon or cursor image as a 32-bit DIB with its AND mask."""
    w, h, stride = surface.get_width(), surface.get_height(), surface.get_stride()
    surface.flush()
    data = bytes(surface.get_data())
    xor, mask = b"", b""
    mask_stride = (w + 31) // 32 * 4
    for y in reversed(range(h)):
        row_mask = bytearray(mask_stride)
        for x in range(w):
            b, g, r, a = data[y * stride + x * 4:y * stride + x * 4 + 4]
            if a:
                b, g, r = (min(255, c * 255 // a) for c in (b, g, r))
            else:
                row_mask[x // 8] |= 0x80 >> (x % 8)
            xor += bytes((b, g, r, a))
        mask += bytes(row_mask)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0,
                         0, 0)
    return header + xor + mask


def icon_file(surfaces, kind, hotspot=(0, 0)):
    """An .ico (kind 1) or .cur (kind 2) file of the given images."""
    entries = [dib_entry(s) for s in surfaces]
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    for s, data in zip(surfaces, entries):
        w, h = s.get_width(), s.get_height()
        a, b = (1, 32) if kind == 1 else hotspot
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, a, b, len(data), offset)
        offset += len(data)
    return out + b"".join(entries)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) != 2:
        print("usage: genstrips.py OUTDIR", file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(os.path.join(out, "bitmap"), exist_ok=True)
    painters = all_painters()
    for bitmap_id, (name, images, w, h) in sorted(STRIPS.items()):
        strip = draw_strip(name, images, w, h, painters)
        strip.write_to_png(os.path.join(out, "bitmap", f"{bitmap_id}.png"))
        write(os.path.join(out, "bitmap", f"{bitmap_id}.bmp"), bmp_bytes(strip))
    cursor = hand(CURSOR_SIZE)
    os.makedirs(os.path.join(out, "cursor"), exist_ok=True)
    cursor.write_to_png(os.path.join(out, "cursor", f"{CURSOR_ID}.png"))
    write(os.path.join(out, "cursor", f"{CURSOR_ID}.hotspot"),
          ("%d %d\n" % CURSOR_HOTSPOT).encode())
    write(os.path.join(out, "cursor", f"{CURSOR_ID}.cur"), icon_file([cursor], 2, CURSOR_HOTSPOT))
    icons = [app_icon(s) for s in ICON_SIZES]
    os.makedirs(os.path.join(out, "icon"), exist_ok=True)
    icons[0].write_to_png(os.path.join(out, "icon", f"{ICON_ID}.png"))
    write(os.path.join(out, "icon", f"{ICON_ID}.ico"), icon_file(icons, 1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
