"""A tiny deterministic rasteriser for the program's artwork.

Shapes are signed distance functions in pixel units (negative inside); a pixel's coverage is
clamp(0.5 - distance), which gives crisp one-pixel antialiased edges and exact edges on pixel
boundaries. Pure Python and floating point only, so the same input gives the same bytes.
"""

import math


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    """Linear blend of two colour tuples."""
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def vertical(top, bottom, y0, y1):
    """A colour function fading from top at pixel row y0 to bottom at row y1."""
    return lambda x, y: mix(top, bottom, clamp((y + 0.5 - y0) / max(1.0, y1 - y0)))


class Shape:
    """A signed distance function with the box (x0, y0, x1, y1) outside which it is empty."""

    def __init__(self, sdf, box):
        self.sdf = sdf
        self.box = box

    def __or__(self, other):
        return Shape(lambda x, y: min(self.sdf(x, y), other.sdf(x, y)), _union_box(self.box, other.box))

    def __and__(self, other):
        return Shape(lambda x, y: max(self.sdf(x, y), other.sdf(x, y)), _intersect_box(self.box, other.box))

    def __sub__(self, other):
        return Shape(lambda x, y: max(self.sdf(x, y), -other.sdf(x, y)), self.box)

    def outline(self, width):
        """The band of the given width centred on the shape's edge."""
        x0, y0, x1, y1 = self.box
        h = width / 2 + 1
        return Shape(lambda x, y: abs(self.sdf(x, y)) - width / 2, (x0 - h, y0 - h, x1 + h, y1 + h))

    def grow(self, d):
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: self.sdf(x, y) - d, (x0 - d - 1, y0 - d - 1, x1 + d + 1, y1 + d + 1))

    def moved(self, dx, dy):
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: self.sdf(x - dx, y - dy), (x0 + dx, y0 + dy, x1 + dx, y1 + dy))


def _union_box(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def _intersect_box(a, b):
    return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


def rect(x0, y0, x1, y1, r=0.0):
    """Rectangle from (x0, y0) to (x1, y1) in pixel-edge coordinates, corners rounded by r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return Shape(sdf, (x0, y0, x1, y1))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def half_plane(nx, ny, c):
    """Inside where nx*x + ny*y < c; (nx, ny) must be a unit vector. Use it to cut shapes."""
    return Shape(lambda x, y: nx * x + ny * y - c, (-1e9, -1e9, 1e9, 1e9))


def _segment_distance(px, py, ax, ay, bx, by, square):
    dx, dy = bx - ax, by - ay
    length = math.hypot(dx, dy)
    if length == 0.0:
        return math.hypot(px - ax, py - ay) if not square else max(abs(px - ax), abs(py - ay))
    ux, uy = dx / length, dy / length
    u = (px - ax) * ux + (py - ay) * uy
    v = -(px - ax) * uy + (py - ay) * ux
    if square:
        # Distance to the segment measured as a box, so that caps are flat and corners square.
        return max(abs(u - length / 2) - length / 2, abs(v))
    t = clamp(u, 0.0, length)
    return math.hypot(px - (ax + ux * t), py - (ay + uy * t))


def strokes(polylines, width, square=False):
    """Polylines drawn with a pen of the given width (round or square caps and joins)."""
    segments = []
    xs, ys = [], []
    for line in polylines:
        pts = list(line)
        xs += [p[0] for p in pts]
        ys += [p[1] for p in pts]
        if len(pts) == 1:
            segments.append((pts[0][0], pts[0][1], pts[0][0], pts[0][1]))
        for a, b in zip(pts, pts[1:]):
            segments.append((a[0], a[1], b[0], b[1]))
    half = width / 2

    def sdf(x, y):
        return min(_segment_distance(x, y, *s, square) for s in segments) - half

    pad = half * 1.5 + 1
    return Shape(sdf, (min(xs) - pad, min(ys) - pad, max(xs) + pad, max(ys) + pad))


def polygon(points):
    """A closed polygon, filled by the even-odd rule."""
    n = len(points)
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def sdf(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            d = min(d, _segment_distance(x, y, ax, ay, bx, by, False))
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -d if inside else d

    return Shape(sdf, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))


def arc(cx, cy, rx, ry, a0, a1, steps=24):
    """Points along an ellipse from angle a0 to a1 (degrees, 0 to the right, 90 up)."""
    out = []
    for i in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * i / steps)
        out.append((cx + rx * math.cos(a), cy - ry * math.sin(a)))
    return out


class Canvas:
    """An RGBA image with premultiplied float channels (0..255 colour, 0..1 alpha).

    Shapes and colour functions stay in the artwork's own pixel units; a canvas of scale 2 holds
    width x height of those units in twice as many pixels each way, for screens of twice the
    density. The width and height attributes count the canvas's real pixels.
    """

    def __init__(self, width, height, colour=None, scale=1):
        self.scale = scale
        width, height = width * scale, height * scale
        self.width, self.height = width, height
        if colour is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]
        else:
            self.px = [[float(colour[0]), float(colour[1]), float(colour[2]), 1.0] for _ in range(width * height)]

    def paint(self, shape, colour, opacity=1.0):
        """Composites the shape over the image; colour is (r, g, b[, a]) or a function of (x, y)."""
        s = self.scale
        x0, y0, x1, y1 = (v * s for v in shape.box)
        xa, ya = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        xb, yb = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        for y in range(ya, yb):
            for x in range(xa, xb):
                # The pixel's centre in artwork units; the distance back in pixels keeps every
                # edge one real pixel soft at any scale.
                cover = clamp(0.5 - s * shape.sdf((x + 0.5) / s, (y + 0.5) / s))
                if cover <= 0.0:
                    continue
                # Colour functions take the artwork pixel whose centre is this pixel's centre.
                c = colour((x + 0.5) / s - 0.5, (y + 0.5) / s - 0.5) if callable(colour) else colour
                a = cover * opacity * (c[3] if len(c) > 3 else 1.0)
                p = self.px[y * self.width + x]
                keep = 1.0 - a
                p[0] = c[0] * a + p[0] * keep
                p[1] = c[1] * a + p[1] * keep
                p[2] = c[2] * a + p[2] * keep
                p[3] = a + p[3] * keep

    def rgba(self, x, y):
        """The pixel as straight (not premultiplied) 8-bit r, g, b, a."""
        r, g, b, a = self.px[y * self.width + x]
        if a <= 0.0:
            return (0, 0, 0, 0)
        return (_byte(r / a), _byte(g / a), _byte(b / a), _byte(a * 255))

    def rgb(self, x, y):
        """The pixel composited over black, as 8-bit r, g, b (opaque images)."""
        r, g, b, _ = self.px[y * self.width + x]
        return (_byte(r), _byte(g), _byte(b))

    def crop(self, x0, y0, width, height):
        """A part of a scale-1 canvas."""
        out = Canvas(width, height)
        for y in range(height):
            for x in range(width):
                out.px[y * width + x] = list(self.px[(y0 + y) * self.width + x0 + x])
        return out

    def blit(self, src, dx, dy):
        for y in range(src.height):
            for x in range(src.width):
                self.px[(dy + y) * self.width + dx + x] = list(src.px[y * src.width + x])


def _byte(v):
    return int(clamp(v, 0.0, 255.0) + 0.5)
