#!/usr/bin/env python3
"""Draws Revertly's icon: a clipboard with a counter-clockwise undo arrow on its sheet.

Run `python3 src/app/make_icon.py` to regenerate src/app/revertly.ico (the output goes beside
this script, whatever the working folder). Python 3 standard library only.

The icon holds eight images:
- 16x16, 256 colours, drawn pixel by pixel: the tray icon and the window's small icon at 100 %;
- 20, 24, 32, 40, 48 and 64 pixels, 32-bit with alpha, drawn from shapes with anti-aliasing:
  the tray icon at 125 % to 200 % scaling (20, 24, 32), and Explorer's views at every scale;
- 256x256, the same drawing stored as PNG (as Windows expects at that size): the Start menu,
  Apps & Features and Explorer's largest views.
"""

import math
import os
import struct
import zlib

# Colours, shared by the hand-drawn and the scaled images.
BOARD_EDGE = (92, 56, 24)
BOARD = (178, 118, 58)
BOARD_LIGHT = (206, 150, 88)
SHEET = (252, 252, 248)
SHEET_EDGE = (196, 196, 188)
CLIP = (206, 212, 220)
CLIP_EDGE = (70, 78, 90)
ARROW = (28, 104, 220)
ARROW_EDGE = (14, 56, 140)
ARROW_SOFT = (150, 186, 240)

# The 16x16 image. Each letter is one pixel; '.' is transparent.
SMALL_COLOURS = {
    "K": BOARD_EDGE,
    "B": BOARD,
    "b": BOARD_LIGHT,
    "W": SHEET,
    "C": CLIP,
    "c": CLIP_EDGE,
    "A": ARROW,
    "l": ARROW_SOFT,
}
SMALL = [
    "......cccc......",
    "KKKKcCCCCCCcKKKK",
    "KbbbcCCCCCCcbbBK",
    "KbWWccccccccWWBK",
    "KbWWWWWWWWWWWWBK",
    "KbWWWAWWWWWWWWBK",
    "KbWWAAWWWWWWWWBK",
    "KbWAAAAAAAAlWWBK",
    "KbWAAAAAAAAAlWBK",
    "KbWWAAWWWWlAAWBK",
    "KbWWWAWWWWWAAWBK",
    "KbWWWWWWWWlAAWBK",
    "KbWWWWAAAAAAlWBK",
    "KbWWWWAAAAAlWWBK",
    "KBBBBBBBBBBBBBBK",
    "KKKKKKKKKKKKKKKK",
]


def small_image():
    """The 16x16 image as (palette, rows of palette indices, rows of transparency flags)."""
    palette = [(0, 0, 0)]  # index 0: black, under the transparent pixels
    index = {}
    for letter, colour in SMALL_COLOURS.items():
        index[letter] = len(palette)
        palette.append(colour)
    if len(SMALL) != 16 or any(len(row) != 16 for row in SMALL):
        raise ValueError("the small image must be 16 rows of 16 pixels")
    pixels = [[0 if ch == "." else index[ch] for ch in row] for row in SMALL]
    clear = [[ch == "." for ch in row] for row in SMALL]
    return palette, pixels, clear


# Shapes for the larger images, as signed distance functions on a 48x48 design grid:
# negative inside, positive outside, in grid units.


def rounded_box(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def distance(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return distance


def arc_stroke(cx, cy, radius, width, start, end):
    """A stroke along a circle from angle start to end (degrees, y down, clockwise)."""
    a0, a1 = math.radians(start), math.radians(end)
    ends = [(cx + radius * math.cos(a), cy + radius * math.sin(a)) for a in (a0, a1)]

    def distance(x, y):
        angle = math.atan2(y - cy, x - cx)
        while angle < a0:
            angle += 2 * math.pi
        if angle <= a1:
            d = abs(math.hypot(x - cx, y - cy) - radius)
        else:
            d = min(math.hypot(x - ex, y - ey) for ex, ey in ends)
        return d - width / 2

    return distance


def triangle(points):
    """A convex triangle; its offset outline has mitred corners, which suits an arrowhead."""
    edges = []
    for i in range(3):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % 3]
        nx, ny = by - ay, ax - bx
        length = math.hypot(nx, ny)
        edges.append((ax, ay, nx / length, ny / length))
    cx = sum(p[0] for p in points) / 3
    cy = sum(p[1] for p in points) / 3
    # Orient the edge normals outwards whichever way round the points are given.
    sign = -1.0 if sum((cx - ax) * nx + (cy - ay) * ny for ax, ay, nx, ny in edges) > 0 else 1.0

    def distance(x, y):
        return max(sign * ((x - ax) * nx + (y - ay) * ny) for ax, ay, nx, ny in edges)

    return distance


def union(*shapes):
    return lambda x, y: min(shape(x, y) for shape in shapes)


def grown(shape, amount):
    return lambda x, y: shape(x, y) - amount


# The clipboard: a board, the sheet on it and the clip at the top.
BOARD_SHAPE = rounded_box(5, 6, 43, 46.5, 4)
SHEET_SHAPE = rounded_box(10, 12.5, 38, 41.5, 1)
CLIP_SHAPE = union(rounded_box(15, 7, 33, 14.5, 2.5), rounded_box(19.5, 2, 28.5, 9, 2.5))
CLIP_SLOT = rounded_box(21.5, 4, 26.5, 6.5, 1.2)

# The undo arrow: a half circle open to the left, the head at its upper end pointing left.
ARROW_SHAPE = union(
    arc_stroke(26.5, 29, 7.5, 5, -90, 90),
    rounded_box(20, 19, 27, 24, 0),
    rounded_box(17, 34, 27, 39, 0),
    triangle([(11, 21.5), (20.5, 13), (20.5, 30)]),
)

LAYERS = [
    (BOARD_SHAPE, BOARD_EDGE),
    (grown(BOARD_SHAPE, -1.5), BOARD),
    (grown(SHEET_SHAPE, 0.8), SHEET_EDGE),
    (SHEET_SHAPE, SHEET),
    (grown(CLIP_SHAPE, 0.3), CLIP_EDGE),
    (grown(CLIP_SHAPE, -1.3), CLIP),
    (CLIP_SLOT, CLIP_EDGE),
    (grown(ARROW_SHAPE, 1.0), ARROW_EDGE),
    (ARROW_SHAPE, ARROW),
]

SUBSAMPLES = 6


def large_image(size):
    """An anti-aliased size x size image as rows of straight-alpha (r, g, b, a) tuples."""
    scale = 48 / size
    step = 1 / SUBSAMPLES
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            red = green = blue = alpha = 0.0  # premultiplied while composing
            for shape, colour in LAYERS:
                hits = 0
                for sy in range(SUBSAMPLES):
                    y = (py + (sy + 0.5) * step) * scale
                    for sx in range(SUBSAMPLES):
                        x = (px + (sx + 0.5) * step) * scale
                        if shape(x, y) < 0:
                            hits += 1
                if hits:
                    cover = hits / (SUBSAMPLES * SUBSAMPLES)
                    red = colour[0] * cover + red * (1 - cover)
                    green = colour[1] * cover + green * (1 - cover)
                    blue = colour[2] * cover + blue * (1 - cover)
                    alpha = cover + alpha * (1 - cover)
            if alpha > 0:
                pixel = (red / alpha, green / alpha, blue / alpha, alpha * 255)
                row.append(tuple(min(255, round(v)) for v in pixel))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


# Icon file encoding: a directory of entries, each image a bottom-up DIB with twice its
# height (colour bits, then a 1-bit transparency mask).


def mask_bits(clear):
    stride = (len(clear[0]) + 31) // 32 * 4
    out = bytearray()
    for row in reversed(clear):
        line = bytearray(stride)
        for x, transparent in enumerate(row):
            if transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib_header(width, height, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def encode_small(palette, pixels, clear):
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    colours += bytes(4 * (256 - len(palette)))
    xor = b"".join(bytes(row) for row in reversed(pixels))  # 16 bytes a row: already aligned
    mask = mask_bits(clear)
    return dib_header(16, 16, 8, len(xor) + len(mask)) + colours + xor + mask


def encode_large(rows):
    size = len(rows)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    mask = mask_bits([[pixel[3] == 0 for pixel in row] for row in rows])
    return dib_header(size, size, 32, len(xor) + len(mask)) + xor + mask


def encode_png(rows):
    """A PNG of straight-alpha rows: the form Windows reads for a 256-pixel icon image."""

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def icon_file(images):
    """images: (size, bits, image bytes) triples; a size of 256 is written as 0."""
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, bits, dib in images:
        side = size % 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, bits, len(dib), offset)
        offset += len(dib)
        data += dib
    return directory + data


def main():
    images = [(16, 8, encode_small(*small_image()))]
    for size in (20, 24, 32, 40, 48, 64):
        images.append((size, 32, encode_large(large_image(size))))
    images.append((256, 32, encode_png(large_image(256))))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "revertly.ico")
    with open(path, "wb") as out:
        out.write(icon_file(images))


if __name__ == "__main__":
    main()
