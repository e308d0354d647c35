#!/usr/bin/env python3
"""Draws uninst.ico: a waste bin with a lid, in 16x16 and 32x32, 32-bit colour.

Run it again only to change the drawing; the build uses the committed icon."""
import struct
import sys


def bin_pixel(x, y, n):
    """Colour (r, g, b, a) of pixel x, y (top row 0) of an n x n icon."""
    u, v = x / n, y / n
    lid = 0.16 <= v < 0.26 and 0.12 <= u < 0.88
    handle = 0.08 <= v < 0.16 and 0.38 <= u < 0.62
    top_width = 0.34 - (v - 0.30) * 0.08
    body = 0.30 <= v < 0.92 and abs(u - 0.5) < top_width
    if lid or handle:
        return (40, 70, 140, 255)
    if body:
        stripe = int((u - 0.5 + top_width) / (2 * top_width) * 5) % 2 == 1
        edge = abs(u - 0.5) > top_width - 1.5 / n or v >= 0.92 - 1.5 / n
        if edge:
            return (30, 50, 110, 255)
        return (90, 130, 210, 255) if stripe else (130, 170, 235, 255)
    return (0, 0, 0, 0)


def icon_image(n):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, and the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        row = bytearray(row_bytes)
        for x in range(n):
            r, g, b, a = bin_pixel(x, y, n)
            pixels += bytes((b, g, r, a))
            if a == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(pixels) + bytes(mask)


def main(path):
    sizes = (32, 16)
    images = [icon_image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "uninst.ico")
