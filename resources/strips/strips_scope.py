"""The oscilloscope window's bitmaps (ids 5400-5449)."""

STRIPS = {
    # Menu button wide enough for "200 µs/div" beside its arrow: up, down.
    5400: ("scope-menu", 2, 90, 20),
}


def painters():
    from genstrips import menu_button
    return {"scope-menu": menu_button}
