#!/usr/bin/python3
"""Generates the two hand cursors as 32 x 32 monochrome .cur files, hot spot (7, 0), and the
same hands at twice the density (64 x 64, hot spot (14, 0)) as NAME@2x.cur.

Usage: gen_cursors.py OUTDIR   (writes OUTDIR/cursors/*.cur)

The hand is drawn as its white inside; the black outline is every clear pixel that touches the
inside along a row or a column, which keeps the fingertips rounded and separates the fingers.
At twice the density the inside is doubled and outlined twice over, so the outline keeps its
width; the fingertips' corners are rounded off by a pixel.
"""

import os
import sys

import imagefiles

HOTSPOT = (7, 0)

# The pointing hand's inside, index finger straight up; its outline puts the tip on row 1.
POINTING = [
    "",
    "",
    "......ooo",
    "......ooo",
    "......ooo",
    "......ooo",
    "......ooo",
    "......ooo",
    "......ooo.ooo",
    "......ooo.ooo.ooo",
    "......ooo.ooo.ooo.oo",
    "......ooo.ooo.ooo.oo",
    "..oo..oooooooooooooo",
    "..ooo.oooooooooooooo",
    "...ooooooooooooooooo",
    "...ooooooooooooooooo",
    "....oooooooooooooooo",
    "....oooooooooooooooo",
    ".....ooooooooooooooo",
    ".....oooooooooooooo",
    "......ooooooooooooo",
    "......ooooooooooooo",
    "......ooooooooooooo",
]

# How many pixels shorter the index finger of the pressing hand is.
PRESS_DEPTH = 3


def pressed(rows):
    """The same hand with the index finger shortened: its top rows of inside removed."""
    out = list(rows)
    for y in range(2, 2 + PRESS_DEPTH):
        out[y] = ""
    return out


def outlined(inside, size=32):
    grid = [list(r.ljust(size, ".")) for r in inside] + [list("." * size) for _ in range(size - len(inside))]
    white = lambda x, y: 0 <= x < size and 0 <= y < size and grid[y][x] == "o"
    out = []
    for y in range(size):
        row = ""
        for x in range(size):
            if white(x, y):
                row += "o"
            elif any(white(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                row += "#"
            else:
                row += "."
        out.append(row)
    return out


CURSORS = {
    "HandPointing.cur": POINTING,
    "HandPressed.cur": pressed(POINTING),
}


def doubled(inside):
    """The inside at twice the density, less the outer corner pixel of each doubled corner."""
    big = ["".join(ch * 2 for ch in row) for row in inside for _ in range(2)]
    width = max(len(r) for r in big)
    grid = [list(r.ljust(width, ".")) for r in big]
    cell = lambda x, y: 0 <= y < len(grid) and 0 <= x < width and grid[y][x] == "o"
    corners = set()
    for y in range(len(grid)):
        for x in range(width):
            if not cell(x, y):
                continue
            for dx, dy in ((1, 1), (1, -1), (-1, 1), (-1, -1)):
                if not cell(x + dx, y) and not cell(x, y + dy) and not cell(x + dx, y + dy):
                    corners.add((x, y))
    for x, y in corners:
        grid[y][x] = "."
    return ["".join(r) for r in grid]


def outlined_thick(inside, size):
    """The outline two pixels wide: the first outline, then one more around it."""
    once = outlined(inside, size)
    grown = [row.replace("#", "o") for row in once]
    twice = outlined(grown, size)
    return ["".join(once[y][x] if once[y][x] != "." else twice[y][x] for x in range(size)) for y in range(size)]


def main(outdir):
    folder = os.path.join(outdir, "cursors")
    os.makedirs(folder, exist_ok=True)
    for name, inside in CURSORS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(imagefiles.cur(outlined(inside), HOTSPOT))
        dense = outlined_thick(doubled(inside), 64)
        with open(os.path.join(folder, name.replace(".cur", "@2x.cur")), "wb") as f:
            f.write(imagefiles.cur(dense, (2 * HOTSPOT[0], 2 * HOTSPOT[1]), 64))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res"))
