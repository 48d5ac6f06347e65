"""A small stroke font of our own for the few words the artwork shows ("Horalink", "GET", "SET").

Glyphs are polylines in units where the cap height is 10 and the x-height 7, y pointing up from
the baseline. Rendered with raster.strokes, so they can be any size, any weight and sheared for
italic.
"""

import math

import raster


def _ellipse(cx, cy, rx, ry, a0, a1, steps=28):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


# Each glyph: (advance to the next glyph's origin before tracking, polylines).
GLYPHS = {
    "H": (7.0, [[(0, 0), (0, 10)], [(7, 0), (7, 10)], [(0, 5), (7, 5)]]),
    "o": (6.4, [_ellipse(3.2, 3.5, 3.2, 3.5, 0, 360, 40)]),
    "r": (4.0, [[(0, 0), (0, 7)], _ellipse(4.0, 3.0, 4.0, 3.8, 180, 95, 14)]),
    "a": (5.8, [_ellipse(2.9, 3.5, 2.9, 3.5, 0, 360, 40), [(5.8, 0), (5.8, 7)]]),
    "l": (0.0, [[(0, 0), (0, 10.5)]]),
    "i": (0.0, [[(0, 0), (0, 7)], [(0, 9.6)]]),
    "n": (5.4, [[(0, 0), (0, 7)], _ellipse(2.7, 4.3, 2.7, 2.7, 180, 0, 20) + [(5.4, 0)]]),
    "k": (5.4, [[(0, 0), (0, 10.5)], [(5.2, 7), (0, 2.4)], [(1.9, 4.0), (5.5, 0)]]),
    "G": (8.0, [_ellipse(4.0, 5.0, 4.0, 5.0, 45, 360, 40) + [(4.6, 5.0)]]),
    "E": (6.0, [[(6, 10), (0, 10), (0, 0), (6, 0)], [(0, 5), (5, 5)]]),
    "T": (7.0, [[(0, 10), (7, 10)], [(3.5, 10), (3.5, 0)]]),
    "S": (6.0, [_ellipse(3.0, 7.5, 3.0, 2.5, 15, 270, 24) + _ellipse(3.0, 2.5, 3.0, 2.5, 90, -165, 24)]),
}


def layout(text, x, baseline, scale, tracking, slant=0.0):
    """The polylines of the text in pixel coordinates (y down), starting at x on the baseline.

    slant shears for italic: a point one pixel above the baseline moves slant pixels right."""
    lines = []
    pen = x
    for ch in text:
        advance, polylines = GLYPHS[ch]
        for line in polylines:
            lines.append([(pen + gx * scale + slant * gy * scale, baseline - gy * scale) for gx, gy in line])
        pen += advance * scale + tracking
    return lines


def width(text, scale, tracking):
    """Distance between the first and the last stroke centre lines of the text."""
    return sum(GLYPHS[ch][0] * scale for ch in text) + tracking * (len(text) - 1)


def shape(text, x, baseline, scale, tracking, pen, slant=0.0, square=False):
    return raster.strokes(layout(text, x, baseline, scale, tracking, slant), pen, square)
