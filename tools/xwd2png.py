#!/usr/bin/env python3
"""Converts an X window dump (xwd, TrueColor, 24 or 32 bits per pixel) into a
PNG file, with the Python standard library only.

Usage: xwd2png.py INPUT.xwd OUTPUT.png
INPUT may be - for standard input.
"""
import struct
import sys
import zlib

HEADER_FIELDS = (
    "header_size file_version pixmap_format pixmap_depth pixmap_width pixmap_height xoffset "
    "byte_order bitmap_unit bitmap_bit_order bitmap_pad bits_per_pixel bytes_per_line "
    "visual_class red_mask green_mask blue_mask bits_per_rgb colormap_entries ncolors "
    "window_width window_height window_x window_y window_bdrwidth"
).split()
Z_PIXMAP = 2
TRUE_COLOR = 4
DIRECT_COLOR = 5


def parse_header(data):
    if len(data) < 100:
        raise ValueError("too short for an X window dump")
    # The header is written in the byte order of the machine that dumped it.
    for order in (">", "<"):
        values = struct.unpack(order + "25I", data[:100])
        header = dict(zip(HEADER_FIELDS, values))
        if header["file_version"] == 7:
            return header
    raise ValueError("not an X window dump (version 7)")


def mask_shift(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift, mask


def to_rgb_rows(data, header):
    if header["pixmap_format"] != Z_PIXMAP or header["visual_class"] not in (TRUE_COLOR, DIRECT_COLOR):
        raise ValueError("only TrueColor ZPixmap dumps are supported")
    bpp = header["bits_per_pixel"]
    if bpp not in (24, 32):
        raise ValueError("only 24 and 32 bits per pixel are supported")
    width, height = header["pixmap_width"], header["pixmap_height"]
    stride = header["bytes_per_line"]
    start = header["header_size"] + 12 * header["ncolors"]
    pixel_order = "little" if header["byte_order"] == 0 else "big"
    step = bpp // 8
    channels = [mask_shift(header[m]) for m in ("red_mask", "green_mask", "blue_mask")]
    rows = []
    for y in range(height):
        line = data[start + y * stride : start + y * stride + width * step]
        if len(line) < width * step:
            raise ValueError("the dump ends early")
        out = bytearray(width * 3)
        for x in range(width):
            pixel = int.from_bytes(line[x * step : x * step + step], pixel_order)
            for c, (shift, top) in enumerate(channels):
                value = (pixel >> shift) & top
                out[x * 3 + c] = value * 255 // top if top else 0
        rows.append(bytes(out))
    return width, height, rows


def png_bytes(width, height, rows):
    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + row for row in rows)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def convert(data):
    return png_bytes(*to_rgb_rows(data, parse_header(data)))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: xwd2png.py INPUT.xwd OUTPUT.png")
    source = sys.stdin.buffer if sys.argv[1] == "-" else open(sys.argv[1], "rb")
    with source:
        data = source.read()
    try:
        png = convert(data)
    except ValueError as error:
        sys.exit("xwd2png: %s" % error)
    with open(sys.argv[2], "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
