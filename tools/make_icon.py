#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

Six images: 16, 32 and 48 pixels square, each in 16 colours (4 bits per
pixel, the standard 16-colour palette) and in 256 colours (8 bits per pixel).
The picture is a thermometer on a rounded tile with a scale beside it. The
output depends on nothing but this file, so every run writes the same bytes.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZES = (16, 32, 48)
SUPERSAMPLE = 4

TILE = (0x1F, 0x4E, 0x79)
TILE_EDGE = (0x0E, 0x2A, 0x45)
GLASS = (0xF2, 0xF2, 0xF2)
MERCURY = (0xD8, 0x20, 0x20)
SCALE = (0xF0, 0xC0, 0x30)

# The standard 16-colour palette, in palette-index order.
PALETTE_16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def palette_256():
    """The 16 standard colours, the picture's own, a 6x6x6 colour cube and a
    grey ramp."""
    colours = list(PALETTE_16) + [TILE, TILE_EDGE, GLASS, MERCURY, SCALE]
    steps = (0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF)
    for r in steps:
        for g in steps:
            for b in steps:
                colours.append((r, g, b))
    while len(colours) < 256:
        level = 8 + (len(colours) - 237) * 13
        colours.append((level, level, level))
    return colours[:256]


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(x, y):
    """Colour at a point of the unit square, or None outside the tile."""
    if not in_rounded_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.18):
        return None
    colour = TILE
    if not in_rounded_rect(x, y, 0.07, 0.07, 0.93, 0.93, 0.14):
        colour = TILE_EDGE
    # Scale marks to the right of the tube.
    for i in range(4):
        mark_y = 0.20 + i * 0.13
        if 0.60 <= x <= 0.78 - (i % 2) * 0.07 and mark_y <= y <= mark_y + 0.055:
            colour = SCALE
    # The tube and its bulb.
    tube = in_rounded_rect(x, y, 0.33, 0.12, 0.53, 0.72, 0.10)
    bulb = in_circle(x, y, 0.43, 0.76, 0.17)
    if tube or bulb:
        colour = GLASS
    if in_rounded_rect(x, y, 0.39, 0.36, 0.47, 0.72, 0.04) or in_circle(x, y, 0.43, 0.76, 0.12):
        colour = MERCURY
    return colour


def render(size):
    """Rows of (r, g, b) or None, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    c = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        covered += 1
                        for k in range(3):
                            total[k] += c[k]
            if covered * 2 < n * n:
                row.append(None)
            else:
                row.append(tuple((t + covered // 2) // covered for t in total))
        rows.append(row)
    return rows


def nearest(palette, colour):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - colour[0]) ** 2 + (p[1] - colour[1]) ** 2 + (p[2] - colour[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def encode(size, bits, palette, rows):
    """One icon image: header, palette, colour bits and mask, bottom row first."""
    xor, mask = b"", b""
    for row in reversed(rows):
        indices = [0 if c is None else nearest(palette, c) for c in row]
        if bits == 4:
            packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        else:
            packed = bytes(indices)
        xor += padded(packed)
        mask_bits = bytearray((size + 7) // 8)
        for i, c in enumerate(row):
            if c is None:
                mask_bits[i // 8] |= 0x80 >> (i % 8)
        mask += padded(bytes(mask_bits))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + colours + xor + mask


def build():
    images = []
    for bits, palette in ((4, PALETTE_16), (8, palette_256())):
        for size in SIZES:
            images.append((size, bits, encode(size, bits, palette, render(size))))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(build())


if __name__ == "__main__":
    main()
