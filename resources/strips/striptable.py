"""The bitmaps of the instrument panels: id -> (name, images, image width,
image height). A strip is one bitmap of `images` equal pictures side by side;
the panel compiler sizes controls from it and the generator draws it."""

STRIPS = {
    # Background textures, tiled behind the controls (5110 + texture number).
    5110: ("texture-steel", 1, 64, 64),
    5111: ("texture-blue", 1, 64, 64),
    5112: ("texture-graphite", 1, 64, 64),
    5113: ("texture-sand", 1, 64, 64),
    # Push buttons: up, down.
    5120: ("button", 2, 32, 20),
    5121: ("button-up", 2, 28, 20),
    5122: ("button-down", 2, 28, 20),
    5123: ("button-up-fast", 2, 28, 20),
    5124: ("button-down-fast", 2, 28, 20),
    5125: ("button-on", 2, 28, 18),
    5126: ("button-off", 2, 28, 18),
    5127: ("button-toggle", 2, 28, 18),
    # Toggles: off, off pressed, on, on pressed.
    5130: ("checkbox", 4, 16, 16),
    5131: ("radio", 4, 14, 14),
    5140: ("switch", 4, 20, 32),
    # Power button: the four switch pictures, then disabled.
    5141: ("power", 5, 32, 32),
    # Status lamp: off, on.
    5143: ("lamp", 2, 16, 16),
    # Relay contact: open, closed.
    5144: ("contact", 2, 36, 18),
    # Seven-segment digits 0-9, a-f, blank, minus.
    5146: ("digits", 18, 14, 24),
    # Graphic display: one column of 8 dots per byte value, bit 0 on top.
    5153: ("lcd-dots", 256, 1, 8),
    # Rotary knob, one picture per position.
    5200: ("knob", 5, 40, 40),
    # Menu button: up, down.
    5260: ("menu-button", 2, 64, 20),
    # Pointer instrument: the face, and the scale labels of ranges 8 down to 0
    # followed by two spare labels.
    5270: ("gauge-face", 1, 160, 96),
    5271: ("gauge-labels", 11, 160, 14),
    # Placeholder picture of the bitmap control.
    5500: ("placeholder", 1, 48, 48),
}

CURSOR_ID = 5000
CURSOR_SIZE = 32
CURSOR_HOTSPOT = (11, 2)
ICON_ID = 5001
ICON_SIZES = (32, 16)


# Each window family keeps its own strips in strips_<family>.py: a STRIPS
# table of the same form (ids in the family's own range) and painters().
def _family_modules():
    import importlib
    import os
    folder = os.path.dirname(os.path.abspath(__file__))
    for name in sorted(os.listdir(folder)):
        if name.startswith("strips_") and name.endswith(".py"):
            yield importlib.import_module(name[:-3])


FAMILY_MODULES = list(_family_modules())
for _module in FAMILY_MODULES:
    for _id, _entry in _module.STRIPS.items():
        if _id in STRIPS:
            raise SystemExit("bitmap %d is defined twice (%s)" % (_id, _module.__name__))
        STRIPS[_id] = _entry


def image_size(bitmap_id):
    entry = STRIPS.get(bitmap_id)
    return None if entry is None else (entry[2], entry[3])
