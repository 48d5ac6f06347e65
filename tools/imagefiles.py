"""Writers for the file formats the program carries: BMP, PNG, ICO and CUR, byte for byte
deterministic (no time stamps, fixed compression level)."""

import struct
import zlib

PIXELS_PER_METRE_96DPI = 3780


def _info_header(width, height, bpp, image_size, colours=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, image_size,
                       PIXELS_PER_METRE_96DPI, PIXELS_PER_METRE_96DPI, colours, 0)


def _rows_bgr(canvas):
    """Bottom-up rows of 24-bit BGR pixels, each padded to four bytes."""
    stride = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b = canvas.rgb(x, y)
            row += bytes((b, g, r))
        data += row + bytes(stride - len(row))
    return bytes(data)


def bmp24(canvas):
    """An uncompressed (BI_RGB) 24 bits-per-pixel Windows bitmap file."""
    pixels = _rows_bgr(canvas)
    offset = 14 + 40
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + _info_header(canvas.width, canvas.height, 24, len(pixels)) + pixels


def png(canvas):
    """An 8-bit RGBA PNG file."""
    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)
        for x in range(canvas.width):
            raw += bytes(canvas.rgba(x, y))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    ihdr = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def _and_mask(width, height, transparent):
    """Bottom-up 1-bit mask rows, 1 where transparent(x, y), padded to four bytes."""
    stride = ((width + 31) // 32) * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def _icon_image_32(canvas):
    w, h = canvas.width, canvas.height
    data = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = canvas.rgba(x, y)
            data += bytes((b, g, r, a))
    mask = _and_mask(w, h, lambda x, y: canvas.rgba(x, y)[3] < 128)
    return _info_header(w, h * 2, 32, len(data) + len(mask)) + bytes(data) + mask


def _icon_image_8(canvas):
    w, h = canvas.width, canvas.height
    opaque = lambda x, y: canvas.rgba(x, y)[3] >= 128
    colours = [canvas.rgba(x, y)[:3] for y in range(h) for x in range(w) if opaque(x, y)]
    palette = median_cut(colours, 256)
    index = _nearest_index(palette)
    stride = (w + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if opaque(x, y):
                row[x] = index(canvas.rgba(x, y)[:3])
        data += row
    mask = _and_mask(w, h, lambda x, y: not opaque(x, y))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + bytes(4 * (256 - len(palette)))
    return _info_header(w, h * 2, 8, len(data) + len(mask), 256) + table + bytes(data) + mask


def median_cut(colours, count):
    """A palette of at most count colours for the given pixels (deterministic median cut)."""
    unique = sorted(set(colours))
    if len(unique) <= count:
        return unique
    boxes = [sorted(colours)]
    while len(boxes) < count:
        # Split the box with the widest channel range at the median of that channel.
        best, best_range, best_channel = None, -1, 0
        for i, box in enumerate(boxes):
            if len(set(box)) < 2:
                continue
            for c in range(3):
                values = [p[c] for p in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_channel = i, spread, c
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda p: (p[best_channel], p))
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    return sorted({tuple(sum(p[c] for p in box) // len(box) for c in range(3)) for box in boxes if box})


def _nearest_index(palette):
    cache = {}

    def index(colour):
        if colour not in cache:
            cache[colour] = min(range(len(palette)),
                                key=lambda i: sum((palette[i][c] - colour[c]) ** 2 for c in range(3)))
        return cache[colour]

    return index


def ico(entries):
    """An icon group file; entries are (canvas, bits per pixel) with 8 or 32 bits."""
    images = [(_icon_image_32(c) if bpp == 32 else _icon_image_8(c), c, bpp) for c, bpp in entries]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    body = b""
    for data, canvas, bpp in images:
        directory += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, 0, 0, 1, bpp,
                                 len(data), offset + len(body))
        body += data
    return directory + body


def cur(rows, hotspot, size=32):
    """A size x size monochrome cursor from text rows: '#' black, 'o' white, anything else clear."""
    rows = [r.ljust(size, ".") for r in rows] + ["." * size] * (size - len(rows))
    cell = lambda x, y: rows[y][x]
    xor = _and_mask(size, size, lambda x, y: cell(x, y) == "o")
    mask = _and_mask(size, size, lambda x, y: cell(x, y) not in "#o")
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = _info_header(size, size * 2, 1, len(xor) + len(mask), 2) + palette + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    directory += struct.pack("<BBBBHHII", size, size, 2, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return directory + image
