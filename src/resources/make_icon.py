#!/usr/bin/env python3
"""Draws uninst.ico: a waste bin with a lid, in 16x16 and 32x32.

The drawing has four opaque colours and a fully transparent background, so each
image is stored with a 16-colour palette of exactly those colours and the AND
mask for the background: the same pixels as 32-bit colour at a fifth of the
bytes, and shown alike on every Windows version.

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


# Palette index 0 stays black: where the AND mask makes a pixel transparent,
# its colour must be black so that it leaves the screen as it is.
TRANSPARENT = (0, 0, 0, 0)
PALETTE_SIZE = 16


def icon_image(n):
    """BITMAPINFOHEADER, palette, bottom-up 4-bit pixels, and the AND mask."""
    pixels_of = [[bin_pixel(x, y, n) for x in range(n)] for y in range(n)]
    colours = [TRANSPARENT] + sorted({p for row in pixels_of for p in row if p[3] == 255})
    if any(p[3] not in (0, 255) for row in pixels_of for p in row) or len(colours) > PALETTE_SIZE:
        sys.exit("the drawing needs partial transparency or more than 15 colours")
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 0, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b, _ in colours)
    palette += bytes(4 * (PALETTE_SIZE - len(colours)))
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        colour_row = bytearray(((4 * n + 31) // 32) * 4)
        mask_row = bytearray(row_bytes)
        for x in range(n):
            pixel = pixels_of[y][x]
            if pixel[3] == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
                pixel = TRANSPARENT
            colour_row[x // 2] |= colours.index(pixel) << (0 if x % 2 else 4)
        pixels += colour_row
        mask += mask_row
    return header + palette + bytes(pixels) + bytes(mask)


def main(path):
    sizes = (32, 16)
    images = [icon_image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, PALETTE_SIZE, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "uninst.ico")
