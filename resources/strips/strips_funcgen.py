"""The keys of the formula generator's keypad: push buttons (up, down)
with their text; a key's bitmap id is also its control id."""

_KEYS = (["0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
          ".", "X", "PI", "+", "-", "*", "/", "(", ")", ";"] +
         ["SIN", "COS", "TAN", "SQU", "TRI", "SAW", "PWM", "PUL", "ABS", "SQRT",
          "EXP", "LN", "RND", "SGN"])
_COMMANDS = {5340: "\u2190", 5341: "CLR", 5342: "SEND"}


def _keys():
    keys = {5300 + i: k for i, k in enumerate(_KEYS)}
    keys.update(_COMMANDS)
    return keys


def _width(label):
    return 26 if len(label) == 1 else 40


STRIPS = {i: ("fgen-key-%d" % i, 2, 48 if i == 5342 else _width(k), 20)
          for i, k in _keys().items()}


def painters():
    from genstrips import button_face, text

    def key(label):
        def draw(ctx, w, h, image):
            button_face(ctx, w, h, image == 1, top=0xF2F2EE if label != "SEND" else 0xC8E8C8)
            text(ctx, label, w / 2, h / 2, 10 if len(label) == 1 else 9, 0x202020)
        return draw

    return {"fgen-key-%d" % i: key(k) for i, k in _keys().items()}
