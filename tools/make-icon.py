#!/usr/bin/env python3
"""Draws the uninstaller's icon and writes it as a Windows .ico file.

The picture: a blue disc with a white "T" for the titles, crossed out by a red bar from the
upper left to the lower right, on a transparent background. Two images, 32x32 and 16x16 pixels,
each 16 colours (4 bits per pixel) from the standard 16-colour palette.

Usage: tools/make-icon.py [OUTPUT]   (default: src/res/tavox.ico beside this script's parent)
"""

import math
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, BLUE, RED, WHITE = 0, 4, 12, 9, 15
TRANSPARENT = None


def pixel(u, v):
    """The colour index at (u, v), both from 0 to 1 with v growing downwards; None outside."""
    dx, dy = u - 0.5, v - 0.5
    r = math.hypot(dx, dy)
    if r > 0.48:
        return TRANSPARENT
    if r > 0.42:
        return NAVY
    # The bar crosses the disc along the diagonal u == v.
    if abs(u - v) < 0.09:
        return RED
    in_bar = 0.22 <= u <= 0.78 and 0.22 <= v <= 0.36
    in_stem = 0.42 <= u <= 0.58 and 0.22 <= v <= 0.80
    if in_bar or in_stem:
        return WHITE
    return BLUE


def draw(size):
    """Rows top to bottom of colour indices (or None), sampling each pixel's centre."""
    return [[pixel((x + 0.5) / size, (y + 0.5) / size) for x in range(size)] for y in range(size)]


def row_bytes(bits_per_row):
    """Bytes of one bitmap row: rows are padded to a multiple of 4 bytes."""
    return (bits_per_row + 31) // 32 * 4


def image(size):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), palette, XOR and AND."""
    rows = draw(size)
    xor_row, and_row = row_bytes(size * 4), row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        colours = [BLACK if c is TRANSPARENT else c for c in row]
        line = bytearray((colours[i] << 4) | colours[i + 1] for i in range(0, size, 2))
        xor += line + bytes(xor_row - len(line))
        bits = bytearray(and_row)
        for x, c in enumerate(row):
            if c is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def icon_file(sizes):
    images = [image(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, '..', 'src', 'res', 'tavox.ico')
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, 'wb') as f:
        f.write(icon_file([32, 16]))


if __name__ == '__main__':
    main()
