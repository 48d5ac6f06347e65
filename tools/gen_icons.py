#!/usr/bin/python3
"""Generates the application icon: a clock with a blue bezel showing ten past ten.

Usage: gen_icons.py OUTDIR   (writes OUTDIR/icons/*.ico and OUTDIR/icons/hicolor/NxN/apps/horalink.png)

The drawing is made afresh for every size rather than scaled, so the small sizes stay sharp:
they get fewer ticks and relatively thicker hands.
"""

import math
import os
import sys

import imagefiles
import raster
from raster import circle, strokes, vertical

BEZEL_TOP = (110, 160, 240)
BEZEL_BOTTOM = (20, 54, 140)
OUTLINE = (8, 20, 60)
FACE_TOP = (255, 255, 255)
FACE_BOTTOM = (214, 226, 244)
HANDS = (10, 24, 70)
SECOND = (214, 40, 32)

# The icon groups of the executable and the sizes of the desktop entry's pictures.
GROUPS = {"Horalink.ico": (16, 24, 32), "About.ico": (48,)}
DESKTOP_SIZES = (16, 24, 32, 48, 64, 128, 256)


def hand_end(cx, cy, length, minutes):
    a = math.radians(minutes * 6)
    return (cx + length * math.sin(a), cy - length * math.cos(a))


def clock_icon(size):
    c = raster.Canvas(size, size)
    s = size / 32.0
    mid = size / 2
    outer = size / 2 - 0.5 * max(1.0, s)
    c.paint(circle(mid, mid, outer), OUTLINE)
    c.paint(circle(mid, mid, outer - max(1.0, s)), vertical(BEZEL_TOP, BEZEL_BOTTOM, 0, size))
    face_r = outer - max(2.0, 3.2 * s)
    c.paint(circle(mid, mid, face_r + max(0.8, 0.8 * s)), OUTLINE, 0.7)
    c.paint(circle(mid, mid, face_r), vertical(FACE_TOP, FACE_BOTTOM, mid - face_r, mid + face_r))

    ticks = range(0, 60, 5) if size >= 32 else range(0, 60, 15)
    for m in ticks:
        major = m % 15 == 0
        inner = face_r - (max(2.0, 3.0 * s) if major else max(1.5, 1.8 * s))
        a, b = hand_end(mid, mid, face_r - 0.6 * s, m), hand_end(mid, mid, inner, m)
        c.paint(strokes([[a, b]], max(1.0, (1.5 if major else 1.0) * s)), HANDS)

    c.paint(strokes([[(mid, mid), hand_end(mid, mid, face_r * 0.55, 50)]], max(1.5, 2.2 * s)), HANDS)
    c.paint(strokes([[(mid, mid), hand_end(mid, mid, face_r * 0.82, 10)]], max(1.2, 1.6 * s)), HANDS)
    if size >= 24:
        tail = hand_end(mid, mid, -face_r * 0.2, 32)
        c.paint(strokes([[tail, hand_end(mid, mid, face_r * 0.86, 32)]], max(0.9, 0.8 * s)), SECOND)
    c.paint(circle(mid, mid, max(1.0, 1.6 * s)), SECOND if size >= 24 else HANDS)
    return c


def main(outdir):
    folder = os.path.join(outdir, "icons")
    os.makedirs(folder, exist_ok=True)
    drawn = {}
    for size in sorted(set(DESKTOP_SIZES) | {s for sizes in GROUPS.values() for s in sizes}):
        drawn[size] = clock_icon(size)
    for name, sizes in GROUPS.items():
        # The 32-bit images first: a reader that takes the first image gets the best one.
        entries = [(drawn[s], bpp) for bpp in (32, 8) for s in sizes]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(imagefiles.ico(entries))
    for size in DESKTOP_SIZES:
        apps = os.path.join(folder, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "horalink.png"), "wb") as f:
            f.write(imagefiles.png(drawn[size]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res"))
