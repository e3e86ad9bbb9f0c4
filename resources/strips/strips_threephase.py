"""The bitmaps of the three-phase generator's windows: the legend of the
phase display (one swatch per phase, in the colours the display draws its
traces in) and the motor of the DC motor window."""
import math

# The trace colours of phases 1-3 (as the display draws them).
PHASE_COLOURS = (0xFF5A40, 0xFFD21E, 0x46B4FF)

STRIPS = {
    5350: ("p3-legend-1", 1, 44, 18),
    5351: ("p3-legend-2", 1, 44, 18),
    5352: ("p3-legend-3", 1, 44, 18),
    5353: ("p3-motor", 1, 56, 56),
}


def painters():
    from genstrips import hexrgb, rounded, text

    def legend(phase):
        def draw(ctx, w, h, image):
            rounded(ctx, 0.5, 0.5, w - 1, h - 1, 4)
            ctx.set_source_rgb(*hexrgb(0x0C1A10))
            ctx.fill()
            ctx.set_source_rgb(*hexrgb(PHASE_COLOURS[phase]))
            ctx.set_line_width(2.5)
            ctx.move_to(5, h / 2)
            ctx.line_to(19, h / 2)
            ctx.stroke()
            text(ctx, "L%d" % (phase + 1), 32, h / 2, 10, PHASE_COLOURS[phase])
        return draw

    def motor(ctx, w, h, image):
        # A motor symbol: the circle with M, its two terminals, and the
        # arrow of its turning.
        cx, cy, r = w / 2, h / 2, w / 2 - 10
        ctx.set_source_rgb(*hexrgb(0x202020))
        ctx.set_line_width(2)
        ctx.move_to(cx, 1)
        ctx.line_to(cx, cy - r)
        ctx.move_to(cx, cy + r)
        ctx.line_to(cx, h - 1)
        ctx.stroke()
        ctx.arc(cx, cy, r, 0, 2 * math.pi)
        ctx.set_source_rgb(*hexrgb(0xF4F0E0))
        ctx.fill_preserve()
        ctx.set_source_rgb(*hexrgb(0x202020))
        ctx.stroke()
        text(ctx, "M", cx, cy, 15, 0x202020)
        ctx.set_line_width(1.5)
        ctx.arc(cx, cy, r + 6, -2.6, -0.9)
        ctx.stroke()
        tip = (cx + (r + 6) * math.cos(-0.9), cy + (r + 6) * math.sin(-0.9))
        ctx.move_to(tip[0] + 4, tip[1] - 3)
        ctx.line_to(tip[0], tip[1])
        ctx.line_to(tip[0] - 5, tip[1] - 2)
        ctx.stroke()

    return {"p3-legend-1": legend(0), "p3-legend-2": legend(1), "p3-legend-3": legend(2),
            "p3-motor": motor}
