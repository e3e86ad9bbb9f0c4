#!/usr/bin/env python3
"""The panel compiler refuses bad text, naming file, line and fault."""
import contextlib
import io
import os
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "tools", "panelc"))
import panelc  # noqa: E402

HEAD = "panel type=11 size=200,100\n"
BAD = [  # text, what the message must say
    ("", "p.panel: no 'panel' line"),
    ("button at=1,1\n", "p.panel:1: the 'panel' line must come first"),
    (HEAD + HEAD, "p.panel:2: a second 'panel' line"),
    ("panel size=10,10\n", "p.panel:1: missing field 'type' for panel"),
    ("panel type=1 size=10,10 colour=3\n", "unknown field 'colour' for panel"),
    (HEAD + "# fine\nslider at=1,1\n", "p.panel:3: unknown control 'slider'"),
    (HEAD + "button at=1,1 colour=2\n", "p.panel:2: unknown field 'colour' for button"),
    (HEAD + "button id=5\n", "p.panel:2: missing field 'at' for button"),
    (HEAD + "frame at=0,0\n", "missing field 'size' for frame"),
    (HEAD + "button at=1,1 id=70000\n", "field 'id': 70000 is out of range -1..65535"),
    (HEAD + "button at=x,1\n", "field 'at': expected a number, got 'x'"),
    (HEAD + "button at\n", "expected name=value, got 'at'"),
    (HEAD + "button at=1,1 at=2,2\n", "field 'at' given twice"),
    (HEAD + 'label at=1,1 text="open\n', "p.panel:2: No closing quotation"),
    (HEAD + "relay at=1,1 contact=14 count=3\n", "field 'contact': 16 is out of range 0..15"),
    (HEAD + "gauge at=1,1 end=nan\n", "field 'end': expected a finite number"),
    (HEAD + "knob at=1,1 position=5\n", "position 5 is beyond the 5 positions"),
    (HEAD + "knob at=1,1 positions=4 position=1\n", "holds 5 images, not 4 positions"),
    (HEAD + "check at=1,1 bitmap=5120\n", "bitmap 5120 holds 2 images, a check needs 4"),
    (HEAD + "button at=1,1 bitmap=6000\n", "bitmap 6000 is not one of ours, give size=w,h"),
    (HEAD + "frame at=0,0 size=200,100 values=1,2,3,4,5,6,7,8,9,10,11\n",
     "expected up to 10 values, got 11"),
    (HEAD + "button at=180,90\n", "p.panel:2: control (180,90)-(212,110) lies outside"),
    (HEAD + "status at=150,1 count=3 step=20,0\n", "(190,1)-(206,17) lies outside"),
    (HEAD + "include file=missing.part\n", "p.panel:2: cannot read 'missing.part'"),
    (HEAD + "include file=p.part at=100,0\n", "p.part:1: control (100,0)-(232,20) lies outside"),
    ("panel type=99 size=5,5\n", "good.panel: type 99 is also"),
]


class Refusals(unittest.TestCase):
    def test_bad_text_is_refused_with_file_and_line(self):
        # Each bad panel is compiled beside a good one; the run writes neither.
        with tempfile.TemporaryDirectory() as tmp:
            def put(name, text):
                pathlib.Path(tmp, name).write_text(text, encoding="utf-8")
                return os.path.join(tmp, name)
            put("p.part", "button at=0,0 size=132,20\n")
            good, out = put("good.panel", "panel type=99 size=10,10\n"), os.path.join(tmp, "out")
            for text, message in BAD:
                with self.subTest(message):
                    err = io.StringIO()
                    with contextlib.redirect_stderr(err):
                        status = panelc.main(["-d", out, put("p.panel", text), good])
                    self.assertEqual(status, 1)
                    self.assertIn(message, err.getvalue())
                    self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
