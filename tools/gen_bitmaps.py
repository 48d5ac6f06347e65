#!/usr/bin/python3
"""Generates the window skin (270 x 240) and the five button strips as 24-bit bitmaps, and each
again at twice the density for scaled screens.

Usage: gen_bitmaps.py OUTDIR   (writes OUTDIR/bitmaps/*.bmp and *@2x.png)

The skin is drawn around the fixed pixel places of the main window's controls, so the numbers
below repeat those places: the clocks and the log pane get recessed wells, the three small
buttons a darker tray whose colour their faces share.
"""

import os
import sys

import imagefiles
import raster
import strokefont
from raster import circle, rect, strokes, vertical

WIDTH, HEIGHT = 270, 240
PANEL = (192, 192, 192)  # the controls paint this colour, so the panel must be exactly it
PANEL_TOP = 27
BORDER = 6

NAVY_TOP = (38, 64, 132)
NAVY_BOTTOM = (14, 28, 70)
EDGE = (6, 14, 40)
TRAY = (16, 32, 78)  # behind the three small buttons; their normal face shares it
SHADOW = (120, 120, 128)
LIGHT = (250, 250, 250)

BLUE_TOP = (96, 148, 236)
BLUE_BOTTOM = (30, 74, 170)
TEXT_DARK = (0, 0, 50)
WHITE = (255, 255, 255)

# Client pixel rectangles (x, y, width, height) of the controls that sit on the skin.
ANALOG_CLOCK = (27, 34, 45, 45)
DIGITAL_CLOCK = (104, 36, 144, 42)
LOG_FRAME = (17, 83, 234, 109)
SERVER_COMBO = (17, 200, 141, 21)
SMALL_BUTTONS = (210, 5, 51, 15)  # minimise, About and close, side by side


def sunken_well(canvas, x, y, w, h, margin, radius):
    """A recess around a control: shadow on the top and left, light on the bottom and right."""
    x0, y0, x1, y1 = x - margin, y - margin, x + w + margin, y + h + margin
    outer = rect(x0, y0, x1, y1, radius)
    canvas.paint(outer, LIGHT)
    canvas.paint(rect(x0, y0, x1 - 1, y1 - 1, radius), SHADOW)
    canvas.paint(rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, radius - 1), PANEL)
    # A soft second line of shade gives the recess depth without a hard double edge.
    canvas.paint(rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, radius - 1) - rect(x0 + 2, y0 + 2, x1, y1, radius - 1),
                 (160, 160, 166))


def skin(scale=1):
    c = raster.Canvas(WIDTH, HEIGHT, EDGE, scale)
    c.paint(rect(1, 1, WIDTH - 1, HEIGHT - 1, 5), vertical(NAVY_TOP, NAVY_BOTTOM, 0, HEIGHT))
    # A thin light rim on the upper edge of the frame, fading downwards, makes it read as raised.
    rim = rect(1, 1, WIDTH - 1, HEIGHT - 1, 5) - rect(2, 2, WIDTH - 2, HEIGHT - 1, 4)
    c.paint(rim, vertical((120, 150, 215), NAVY_BOTTOM, 0, HEIGHT * 0.6))
    # A faint sheen on the upper half of the title band.
    c.paint(rect(2, 2, WIDTH - 2, PANEL_TOP // 2, 3), (255, 255, 255), 0.07)

    title_tab(c)
    button_tray(c)

    panel = rect(BORDER, PANEL_TOP, WIDTH - BORDER, HEIGHT - BORDER, 4)
    c.paint(panel.grow(1), EDGE)
    c.paint(panel, PANEL)
    # The panel's own bevel: light along the top and left, shade along the bottom and right.
    c.paint(panel - rect(BORDER + 1, PANEL_TOP + 1, WIDTH - BORDER + 4, HEIGHT - BORDER + 4, 4), (228, 228, 232))
    c.paint(panel - rect(BORDER - 4, PANEL_TOP - 4, WIDTH - BORDER - 1, HEIGHT - BORDER - 1, 4), (150, 150, 158))

    sunken_well(c, *ANALOG_CLOCK, 3, 4)
    sunken_well(c, *DIGITAL_CLOCK, 3, 4)
    lx, ly, lw, lh = LOG_FRAME
    sunken_well(c, lx + 1, ly + 1, lw - 2, lh - 2, 1, 3)
    groove(c, LOG_FRAME[0], WIDTH - LOG_FRAME[0] - 1 - 2, 196)
    return c


def groove(canvas, x0, x1, y):
    canvas.paint(rect(x0, y - 1, x1, y, 0), (160, 160, 166))
    canvas.paint(rect(x0, y, x1, y + 1, 0), (226, 226, 230))


def title_tab(c):
    scale, tracking, pen, slant = 1.22, 2.9, 2.2, 0.22
    text_x = 17
    right = int(text_x + strokefont.width("Horalink", scale, tracking) + 16.5)
    tab = rect(BORDER, 4, right, PANEL_TOP + 6, 6)
    c.paint(tab.grow(1), EDGE)
    c.paint(tab, vertical(BLUE_TOP, BLUE_BOTTOM, 4, PANEL_TOP))
    c.paint(tab - rect(BORDER, 5, right, PANEL_TOP + 8, 6), (176, 204, 255), 0.9)
    baseline = 21.5
    shadow = strokefont.shape("Horalink", text_x + 1, baseline + 1, scale, tracking, pen, slant)
    c.paint(shadow, (8, 22, 70), 0.55)
    c.paint(strokefont.shape("Horalink", text_x, baseline, scale, tracking, pen, slant), WHITE)


def button_tray(c):
    x, y, w, h = SMALL_BUTTONS
    tray = rect(x - 3, y - 3, x + w + 3, y + h + 3, 4)
    c.paint(tray.grow(1), (60, 88, 150))
    c.paint(tray, TRAY)
    c.paint(tray - rect(x - 3, y - 2, x + w + 3, y + h + 4, 4), EDGE)


def large_face(caption, frame, scale=1):
    """One 40 x 22 face of a command button: 0 normal, 1 sunken (pressed), 2 raised (hot)."""
    c = raster.Canvas(40, 22, PANEL, scale)
    body = rect(0, 0, 40, 22, 4)
    inner = rect(1, 1, 39, 21, 3)
    if frame == 0:
        c.paint(body, (92, 100, 124))
        c.paint(inner, vertical((246, 246, 248), (204, 206, 214), 1, 21))
        c.paint(inner - rect(1, 2, 39, 22, 3), WHITE)
        ink, dx, dy = TEXT_DARK, 0, 0
    elif frame == 1:
        c.paint(body, EDGE)
        c.paint(inner, vertical((14, 32, 84), (40, 80, 170), 1, 21))
        c.paint(inner - rect(1, 3, 39, 23, 3), (4, 10, 34), 0.8)
        ink, dx, dy = WHITE, 1, 1
    else:
        c.paint(body, (18, 40, 100))
        c.paint(inner, vertical(BLUE_TOP, BLUE_BOTTOM, 1, 21))
        c.paint(inner - rect(1, 2, 39, 22, 3), (190, 214, 255))
        ink, dx, dy = WHITE, 0, 0
    scale, tracking, pen = 0.8, 3.0, 2.0
    left = round((40 - strokefont.width(caption, scale, tracking)) / 2)
    c.paint(strokefont.shape(caption, left + dx, 15 + dy, scale, tracking, pen, square=True), ink)
    return c


def small_symbol(kind, dx, dy):
    if kind == "bar":
        return strokes([[(4.5 + dx, 10.5 + dy), (10.5 + dx, 10.5 + dy)]], 2.0, square=True)
    if kind == "cross":
        return strokes([[(4.5 + dx, 4.5 + dy), (10.5 + dx, 10.5 + dy)], [(10.5 + dx, 4.5 + dy), (4.5 + dx, 10.5 + dy)]],
                       1.7)
    hook = raster.arc(7.5 + dx, 5.6 + dy, 2.4, 2.2, 160, -60, 16) + [(7.5 + dx, 8.6 + dy)]
    return strokes([hook], 1.6) | circle(7.5 + dx, 11.6 + dy, 1.05)


def small_face(kind, frame, scale=1):
    """One 15 x 15 face of a small button on the tray: 0 normal, 1 sunken, 2 raised."""
    c = raster.Canvas(15, 15, TRAY, scale)
    body = rect(0, 0, 15, 15, 3)
    inner = rect(1, 1, 14, 14, 2)
    if frame == 0:
        ink, dx, dy = (150, 164, 196), 0, 0
    elif frame == 1:
        c.paint(body, (2, 6, 24))
        c.paint(inner, vertical((10, 22, 60), (34, 70, 156), 1, 14))
        ink, dx, dy = WHITE, 0.5, 0.5
    else:
        c.paint(body, (4, 12, 40))
        c.paint(inner, vertical(BLUE_TOP, BLUE_BOTTOM, 1, 14))
        c.paint(inner - rect(1, 2, 14, 15, 2), (190, 214, 255))
        ink, dx, dy = WHITE, 0, 0
    c.paint(small_symbol(kind, dx, dy), ink)
    return c


def strip(faces):
    s = faces[0].scale
    out = raster.Canvas(sum(f.width for f in faces) // s, faces[0].height // s, scale=s)
    x = 0
    for f in faces:
        out.blit(f, x, 0)
        x += f.width
    return out


# Each drawing by its file's base name, as a function of the scale.
BITMAPS = {
    "Skin": skin,
    "FaceGet": lambda s: strip([large_face("GET", i, s) for i in range(3)]),
    "FaceSet": lambda s: strip([large_face("SET", i, s) for i in range(3)]),
    "FaceMinimize": lambda s: strip([small_face("bar", i, s) for i in range(3)]),
    "FaceAbout": lambda s: strip([small_face("question", i, s) for i in range(3)]),
    "FaceClose": lambda s: strip([small_face("cross", i, s) for i in range(3)]),
}


def main(outdir):
    """The 1x bitmaps as BMP, and the same drawings at twice the density as NAME@2x.png, the
    name under which Qt finds them for screens of device pixel ratio 2."""
    folder = os.path.join(outdir, "bitmaps")
    os.makedirs(folder, exist_ok=True)
    for name, make in BITMAPS.items():
        with open(os.path.join(folder, name + ".bmp"), "wb") as f:
            f.write(imagefiles.bmp24(make(1)))
        with open(os.path.join(folder, name + "@2x.png"), "wb") as f:
            f.write(imagefiles.png(make(2)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res"))
