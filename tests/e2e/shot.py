#!/usr/bin/env python3
"""Reads screenshots taken as binary PPM (import -window root x.ppm) for the end-to-end test.

  shot.py pixel FILE X Y              prints "R G B"
  shot.py bands FILE X Y W H          prints how many bands of dark text rows the area holds
  shot.py same FILE1 FILE2 X Y W H    exit 0 when the area is the same in both
  shot.py png FILE OUT.png [X Y W H]  writes the screenshot, or an area of it, as a PNG
  shot.py box FILE R G B              prints "X Y W H" around every pixel not of colour R G B
"""
import struct
import sys
import zlib


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


class Shot:
    def __init__(self, path):
        self.width, self.height, self.data = read_ppm(path)

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def rows(self, x, y, w, h):
        return [bytes(self.data[3 * ((y + r) * self.width + x):3 * ((y + r) * self.width + x + w)])
                for r in range(h)]


def dark_row(row):
    # Text is dark blue on light grey; antialiased edges are mid-tones and do not count.
    return any(max(row[i:i + 3]) < 110 for i in range(0, len(row), 3))


def bands(shot, x, y, w, h):
    count, inside = 0, False
    for row in shot.rows(x, y, w, h):
        dark = dark_row(row)
        count += dark and not inside
        inside = dark
    return count


def box(shot, colour):
    xs, ys = [], []
    for y in range(shot.height):
        row = shot.data[3 * y * shot.width:3 * (y + 1) * shot.width]
        if row == colour * shot.width:
            continue
        cols = [x for x in range(shot.width) if row[3 * x:3 * x + 3] != colour]
        if cols:
            ys.append(y)
            xs += [cols[0], cols[-1]]
    if not ys:
        return None
    return min(xs), ys[0], max(xs) - min(xs) + 1, ys[-1] - ys[0] + 1


def write_png(path, rows, w):
    raw = b"".join(b"\0" + row for row in rows)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, len(rows), 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "pixel":
        print(*Shot(args[0]).pixel(int(args[1]), int(args[2])))
    elif command == "bands":
        print(bands(Shot(args[0]), *map(int, args[1:5])))
    elif command == "same":
        area = list(map(int, args[2:6]))
        return 0 if Shot(args[0]).rows(*area) == Shot(args[1]).rows(*area) else 1
    elif command == "box":
        found = box(Shot(args[0]), bytes(map(int, args[1:4])))
        if found:
            print(*found)
    elif command == "png":
        shot = Shot(args[0])
        x, y, w, h = map(int, args[2:6]) if len(args) > 2 else (0, 0, shot.width, shot.height)
        write_png(args[1], shot.rows(x, y, w, h), w)
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
