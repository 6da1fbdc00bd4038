#!/usr/bin/env python3
"""Draws Kestrin's application icon and writes it as a multi-size Windows .ico.

    make-icon.py OUTPUT.ico [--png-dir DIR]

The icon is drawn here rather than kept as a binary in the repository, so that every size comes
from one description and can be redrawn when the design changes. The design: a rounded square in
the program's accent blue holding a small treemap in the treemap's own colours, with the largest
tile white; from 64 pixels up a kestrel hovers in that tile. Smaller sizes show fewer tiles (three
at 16 and 20 pixels), and up to 48 pixels every edge of the plate's tiles lies on the pixel grid,
so that the icon stays crisp in lists and title bars.

Every size is drawn for its own pixel grid (not scaled from the large one) and antialiased by
supersampling the pixels that an edge crosses. 256 pixels is stored as PNG, the other sizes as
classic 32-bit BGRA bitmaps with an AND mask, which every reader of .ico files understands.
--png-dir also writes each size as icon-N.png, for looking at.

Only the Python standard library is used.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 128, 256)
PNG_SIZES = (256,)

# The main window's accent blue is RGB(0,120,215); the plate's gradient runs from a slightly lighter
# to a slightly darker blue around it. The tiles take the treemap's own palette.
ACCENT_TOP = (28, 140, 230)
ACCENT_BOTTOM = (0, 100, 190)
PALE = (250, 252, 255)
TEAL = (78, 201, 176)
AMBER = (220, 180, 90)
TERRACOTTA = (206, 145, 120)
SKY = (86, 156, 214)
BIRD = (0, 84, 160)

# Small sizes on the pixel grid: plate inset, plate corner radius, treemap inset, gap between tiles.
CRISP = {
    16: (1, 3, 3, 1),
    20: (1, 3.5, 4, 1),
    24: (1, 4, 4, 1),
    32: (2, 6, 6, 1),
    40: (2, 7, 8, 2),
    48: (3, 8.5, 9, 2),
}

BIRD_FROM = 64  # below this the kestrel is too few pixels to read as a bird
SUPERSAMPLE = 8  # samples per pixel side along an edge


# --- shapes ---------------------------------------------------------------------------------------
# A shape answers "is this point inside" and gives a signed distance (negative inside) that is
# exact or an underestimate; pixels well away from the edge take their coverage from the distance
# alone, only the pixels an edge crosses are supersampled.

class RoundRect:
    def __init__(self, x0, y0, x1, y1, radius=0.0):
        self.x0, self.y0, self.x1, self.y1 = x0, y0, x1, y1
        self.r = max(0.0, min(radius, (x1 - x0) / 2, (y1 - y0) / 2))
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hx, self.hy = (x1 - x0) / 2 - self.r, (y1 - y0) / 2 - self.r

    def bounds(self):
        return self.x0, self.y0, self.x1, self.y1

    def distance(self, x, y):
        qx = abs(x - self.cx) - self.hx
        qy = abs(y - self.cy) - self.hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - self.r

    def inside(self, x, y):
        return self.distance(x, y) < 0.0


class Polygon:
    def __init__(self, points):
        self.points = points
        self.edges = list(zip(points, points[1:] + points[:1]))

    def bounds(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        return min(xs), min(ys), max(xs), max(ys)

    def inside(self, x, y):
        crossings = False
        for (ax, ay), (bx, by) in self.edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                crossings = not crossings
        return crossings

    def distance(self, x, y):
        best = float("inf")
        for (ax, ay), (bx, by) in self.edges:
            dx, dy = bx - ax, by - ay
            length2 = dx * dx + dy * dy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            best = min(best, math.hypot(x - ax - t * dx, y - ay - t * dy))
        return -best if self.inside(x, y) else best


class Layer:
    """A shape filled with a colour (or a function of the pixel centre) at some opacity. A
    positive blur gives a soft edge of that width instead of an antialiased one (shadows)."""

    def __init__(self, shape, colour, opacity=1.0, blur=0.0):
        self.shape, self.colour, self.opacity, self.blur = shape, colour, opacity, blur


# --- rasteriser -----------------------------------------------------------------------------------

def coverage(shape, px, py, blur):
    cx, cy = px + 0.5, py + 0.5
    d = shape.distance(cx, cy)
    if blur > 0.0:
        t = max(0.0, min(1.0, 0.5 - d / blur))
        return t * t * (3.0 - 2.0 * t)
    if d <= -0.75:
        return 1.0
    if d >= 0.75:
        return 0.0
    n = SUPERSAMPLE
    hits = 0
    for j in range(n):
        sy = py + (j + 0.5) / n
        for i in range(n):
            if shape.inside(px + (i + 0.5) / n, sy):
                hits += 1
    return hits / (n * n)


def render(size, layers):
    """Composites the layers in order; returns straight (not premultiplied) RGBA rows, top first."""
    count = size * size
    red, green, blue, alpha = [0.0] * count, [0.0] * count, [0.0] * count, [0.0] * count
    for layer in layers:
        x0, y0, x1, y1 = layer.shape.bounds()
        margin = layer.blur + 1
        for py in range(max(0, int(math.floor(y0 - margin))), min(size, int(math.ceil(y1 + margin)))):
            for px in range(max(0, int(math.floor(x0 - margin))), min(size, int(math.ceil(x1 + margin)))):
                a = coverage(layer.shape, px, py, layer.blur) * layer.opacity
                if a <= 0.0:
                    continue
                colour = layer.colour(px + 0.5, py + 0.5) if callable(layer.colour) else layer.colour
                k = py * size + px
                keep = 1.0 - a
                red[k] = colour[0] * a + red[k] * keep
                green[k] = colour[1] * a + green[k] * keep
                blue[k] = colour[2] * a + blue[k] * keep
                alpha[k] = a + alpha[k] * keep
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            k = py * size + px
            a = alpha[k]
            if a <= 0.0:
                row += b"\0\0\0\0"
                continue
            row += bytes((min(255, round(red[k] / a)), min(255, round(green[k] / a)),
                          min(255, round(blue[k] / a)), min(255, round(a * 255))))
        rows.append(bytes(row))
    return rows


# --- the design -----------------------------------------------------------------------------------

def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def quad(p0, p1, p2, steps):
    """Points of a quadratic Bézier curve from p0 (exclusive) to p2 (inclusive)."""
    out = []
    for i in range(1, steps + 1):
        t = i / steps
        u = 1 - t
        out.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                    u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
    return out


def kestrel_outline():
    """A kestrel hovering, seen from below: long pointed wings held slightly forward, a small
    head and a long tail fanned out at the end. Units: wingspan from x = -1 to 1, y downwards,
    the body at x = 0. Returns the closed outline."""
    right = [(0.0, -0.37)]
    right += quad((0.0, -0.37), (0.09, -0.365), (0.095, -0.28), 5)   # crown to cheek
    right += quad((0.095, -0.28), (0.10, -0.21), (0.13, -0.17), 3)    # neck to shoulder
    right += quad((0.13, -0.17), (0.40, -0.29), (0.62, -0.17), 8)     # leading edge to the wrist
    right += quad((0.62, -0.17), (0.85, -0.06), (1.0, 0.08), 6)       # hand to the pointed tip
    right += quad((1.0, 0.08), (0.72, 0.04), (0.48, 0.09), 6)         # trailing edge of the hand
    right += quad((0.48, 0.09), (0.26, 0.13), (0.11, 0.16), 6)        # trailing edge of the arm
    right += quad((0.11, 0.16), (0.085, 0.22), (0.08, 0.27), 3)       # flank to the tail's base
    right += quad((0.08, 0.27), (0.13, 0.45), (0.16, 0.57), 5)        # tail fanning out
    right += quad((0.16, 0.57), (0.12, 0.64), (0.0, 0.645), 5)        # rounded tail end
    left = [(-x, y) for x, y in reversed(right[1:-1])]
    return right + left


def snap(value, crisp):
    return float(round(value)) if crisp else value


def design(size):
    s = float(size)
    # Up to 48 pixels the plate and the tiles sit on whole pixels (from the table); larger sizes
    # scale freely.
    crisp = size in CRISP
    layers = []

    # Plate: a rounded square with a little room around it, and a soft shadow below from 48 px.
    # The treemap's box is inset box_inset from the icon's edge.
    inset, radius, box_inset, gap = CRISP.get(size, (s / 16, s * 0.18, s * 0.19, s * 0.035))
    plate = RoundRect(inset, inset, s - inset, s - inset, radius)
    if size >= 48:
        shadow = RoundRect(inset, inset + s * 0.02, s - inset, s - inset + s * 0.02, radius)
        layers.append(Layer(shadow, (0, 30, 70), opacity=0.30, blur=s * 0.035))
    top, bottom = inset, s - inset

    def plate_colour(x, y):
        return lerp(ACCENT_TOP, ACCENT_BOTTOM, (y - top) / (bottom - top))

    layers.append(Layer(plate, plate_colour))

    # The treemap: tiles in fractions of its box. The largest tile is a wide one across the top,
    # the rest share the row below; larger sizes split that row further.
    if size <= 20:
        tiles = [((0, 0, 1, 0.56), PALE),
                 ((0, 0.56, 0.56, 1), TEAL),
                 ((0.56, 0.56, 1, 1), AMBER)]
    elif size < 48:
        tiles = [((0, 0, 1, 0.56), PALE),
                 ((0, 0.56, 0.46, 1), TEAL),
                 ((0.46, 0.56, 0.76, 1), AMBER),
                 ((0.76, 0.56, 1, 1), TERRACOTTA)]
    else:
        tiles = [((0, 0, 1, 0.58), PALE),
                 ((0, 0.58, 0.44, 1), TEAL),
                 ((0.44, 0.58, 0.74, 1), AMBER),
                 ((0.74, 0.58, 1, 0.80), TERRACOTTA),
                 ((0.74, 0.80, 1, 1), SKY)]

    b0, b1 = box_inset, s - box_inset
    tile_radius = 0.0 if crisp else s * 0.02

    def tile_end(u):
        # A tile ending at an inner cut gives up half the gap there; on the pixel grid the cut
        # is rounded once, so that every gap is exactly `gap` pixels wide.
        if u >= 1:
            return b1
        return snap(b0 + u * (b1 - b0) - gap / 2, crisp)

    def tile_start(u):
        if u <= 0:
            return b0
        return tile_end(u) + gap

    rects = []
    for (u0, v0, u1, v1), colour in tiles:
        rect = (tile_start(u0), tile_start(v0), tile_end(u1), tile_end(v1))
        rects.append(rect)
        layers.append(Layer(RoundRect(*rect, tile_radius), colour))

    if size >= BIRD_FROM:
        # The kestrel in the big tile, in a deep blue, its wings across 80 % of the tile's width
        # and its outline (head to tail, -0.37 to 0.645) centred in the tile's height.
        x0, y0, x1, y1 = rects[0]
        scale = (x1 - x0) * 0.40
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2 + (y1 - y0) * 0.03
        points = [(cx + x * scale, cy + (y - 0.14) * scale) for x, y in kestrel_outline()]
        layers.append(Layer(Polygon(points), BIRD))
    return layers


def draw(size):
    return render(size, design(size))


# --- file formats ---------------------------------------------------------------------------------

def png_bytes(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA, no interlace
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib_bytes(size, rows):
    """A classic icon image: BITMAPINFOHEADER with the height doubled (colour plus mask), the
    32-bit BGRA pixels bottom-up, then the 1-bit AND mask bottom-up with rows padded to 32 bits
    (set bits are transparent; readers that honour the alpha channel ignore it)."""
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def ico_bytes(images):
    """images: (size, encoded image) in ascending size."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main(argv):
    usage = "usage: make-icon.py OUTPUT.ico [--png-dir DIR]"
    args = list(argv)
    png_dir = None
    if "--png-dir" in args:
        i = args.index("--png-dir")
        if i + 1 >= len(args):
            print(usage, file=sys.stderr)
            return 2
        png_dir = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1 or args[0].startswith("-"):
        print(usage, file=sys.stderr)
        return 2
    output = args[0]

    images = []
    for size in SIZES:
        rows = draw(size)
        encoded_png = png_bytes(size, rows)
        images.append((size, encoded_png if size in PNG_SIZES else dib_bytes(size, rows)))
        if png_dir:
            os.makedirs(png_dir, exist_ok=True)
            with open(os.path.join(png_dir, "icon-%d.png" % size), "wb") as f:
                f.write(encoded_png)

    # Write beside the target and rename, so that an interrupted run never leaves a truncated
    # icon that the build would take as up to date.
    directory = os.path.dirname(os.path.abspath(output))
    os.makedirs(directory, exist_ok=True)
    temporary = output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(ico_bytes(images))
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
