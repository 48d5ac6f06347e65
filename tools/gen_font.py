#!/usr/bin/python3
"""Generates the digital clock's font Segmatic.ttf: seven-segment digits, a colon and a space.

Usage: gen_font.py OUTDIR   (writes OUTDIR/Segmatic.ttf; needs fontTools)

Every glyph has the same advance, so the clock's text does not shift as the seconds change.
The ascent and descent add up to the em, so a pixel size of n gives a cell n pixels high (the
clock uses 39). Segments are bevelled hexagons with small gaps and the digits lean slightly,
like a real LCD clock.
"""

import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

UPM = 1000
ASCENT, DESCENT = 800, 200
ADVANCE = 430
SLANT = 0.08  # x shift per unit of height

# The digit's box before slanting: segment centre lines run along its edges and middle.
LEFT, RIGHT = 60, 290
BOTTOM, TOP = 40, 700
MIDDLE = (BOTTOM + TOP) // 2
THICK = 80  # segment thickness
GAP = 12  # space between neighbouring segments' tips

# Which segments each digit lights: a top, b top right, c bottom right, d bottom,
# e bottom left, f top left, g middle.
DIGITS = {
    "0": "abcdef", "1": "bc", "2": "abdeg", "3": "abcdg", "4": "bcfg",
    "5": "acdfg", "6": "acdefg", "7": "abc", "8": "abcdefg", "9": "abcdfg",
}
# 2026-01-01 00:00:00 UTC in seconds since 1904-01-01, the epoch of the font's clock; fixed so
# that every run writes the same bytes.
_FIXED_TIME = 3850070400

NAMES = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"]


def horizontal(y):
    h = THICK / 2
    x0, x1 = LEFT + GAP + h, RIGHT - GAP - h
    # Hexagon with pointed ends, clockwise in font coordinates (y up).
    return [(x0 - h, y), (x0, y + h), (x1, y + h), (x1 + h, y), (x1, y - h), (x0, y - h)]


def vertical(x, y0, y1):
    h = THICK / 2
    a, b = y0 + GAP + h, y1 - GAP - h
    return [(x, a - h), (x - h, a), (x - h, b), (x, b + h), (x + h, b), (x + h, a)]


def outer_vertical(x, y0, y1, inward):
    """A side segment whose outer edge is straight: bevelled only on the side facing inward."""
    h = THICK / 2
    a, b = y0 + GAP + h, y1 - GAP - h
    if inward > 0:
        return [(x - h, a - h), (x - h, b + h), (x + h, b), (x + h, a)]
    return [(x + h, a - h), (x - h, a), (x - h, b), (x + h, b + h)]


def outer_horizontal(y, downward):
    """The top or bottom segment, with a straight outer edge and bevelled inner corners."""
    h = THICK / 2
    x0, x1 = LEFT + GAP + h, RIGHT - GAP - h
    if downward:
        return [(x0 - h, y + h), (x1 + h, y + h), (x1, y - h), (x0, y - h)]
    return [(x0, y + h), (x1, y + h), (x1 + h, y - h), (x0 - h, y - h)]


SEGMENTS = {
    "a": outer_horizontal(TOP, True),
    "b": outer_vertical(RIGHT, MIDDLE, TOP, -1),
    "c": outer_vertical(RIGHT, BOTTOM, MIDDLE, -1),
    "d": outer_horizontal(BOTTOM, False),
    "e": outer_vertical(LEFT, BOTTOM, MIDDLE, 1),
    "f": outer_vertical(LEFT, MIDDLE, TOP, 1),
    "g": horizontal(MIDDLE),
}


def colon_dots():
    """Two square dots at a third and two thirds of the digit height, as on an LCD."""
    cx, h = (LEFT + RIGHT) // 2, THICK * 0.55
    dots = []
    for cy in (BOTTOM + (TOP - BOTTOM) * 0.27, BOTTOM + (TOP - BOTTOM) * 0.73):
        dots.append([(cx - h, cy - h), (cx - h, cy + h), (cx + h, cy + h), (cx + h, cy - h)])
    return dots


def slanted(points):
    return [(round(x + SLANT * y), round(y)) for x, y in points]


def clockwise(points):
    """TrueType wants outer contours clockwise (y up): reverse when the area is positive."""
    area = sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]))
    return list(reversed(points)) if area > 0 else points


def outline(contours):
    """A glyph of closed polygons, given in their final direction."""
    pen = TTGlyphPen(None)
    for pts in contours:
        pen.moveTo(pts[0])
        for p in pts[1:]:
            pen.lineTo(p)
        pen.closePath()
    return pen.glyph()


def glyph(contours):
    return outline([clockwise(slanted(c)) for c in contours])


def notdef():
    m = 40
    outer = [(LEFT, BOTTOM), (LEFT, TOP), (RIGHT, TOP), (RIGHT, BOTTOM)]
    inner = [(LEFT + m, BOTTOM + m), (RIGHT - m, BOTTOM + m), (RIGHT - m, TOP - m), (LEFT + m, TOP - m)]
    # The hole runs the other way round.
    return outline([clockwise(outer), list(reversed(clockwise(inner)))])


def build():
    order = [".notdef", "space", "colon"] + NAMES
    glyphs = {".notdef": notdef(), "space": TTGlyphPen(None).glyph(), "colon": glyph(colon_dots())}
    for ch, name in zip("0123456789", NAMES):
        glyphs[name] = glyph([SEGMENTS[s] for s in DIGITS[ch]])
    cmap = {0x20: "space", 0x3A: "colon"}
    cmap.update({ord(ch): name for ch, name in zip("0123456789", NAMES)})

    fb = FontBuilder(UPM, isTTF=True)
    fb.font.recalcTimestamp = False
    fb.setupHead(unitsPerEm=UPM, created=_FIXED_TIME, modified=_FIXED_TIME, fontRevision=1.3)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap(cmap)
    fb.setupGlyf(glyphs)
    metrics = {}
    for name in order:
        g = glyphs[name]
        g.recalcBounds(fb.font["glyf"])
        metrics[name] = (ADVANCE, getattr(g, "xMin", 0))
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT)
    fb.setupNameTable({
        "familyName": "Segmatic",
        "styleName": "Regular",
        "uniqueFontIdentifier": "Horalink: Segmatic Regular: 1.3",
        "fullName": "Segmatic",
        "psName": "Segmatic-Regular",
        "version": "Version 1.300",
        "copyright": "Copyright (C) 2026 the Horalink developers",
        "description": "Seven-segment digits for the Horalink clock",
    })
    fb.setupOS2(sTypoAscender=ASCENT, sTypoDescender=-DESCENT, sTypoLineGap=0, usWinAscent=ASCENT,
                usWinDescent=DESCENT, xAvgCharWidth=ADVANCE, achVendID="HORA", fsType=0,
                usWeightClass=400, sxHeight=(TOP - BOTTOM) // 2, sCapHeight=TOP,
                panose=_panose_monospaced())
    fb.setupPost(isFixedPitch=1, underlinePosition=-100, underlineThickness=50)
    return fb.font


def _panose_monospaced():
    from fontTools.ttLib.tables.O_S_2f_2 import Panose

    p = Panose()
    for field in ("bSerifStyle", "bWeight", "bContrast", "bStrokeVariation", "bArmStyle", "bLetterForm",
                  "bMidline", "bXHeight"):
        setattr(p, field, 0)  # any
    p.bFamilyType = 2  # Latin text
    p.bProportion = 9  # monospaced
    return p


def main(outdir):
    os.makedirs(outdir, exist_ok=True)
    build().save(os.path.join(outdir, "Segmatic.ttf"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res"))
