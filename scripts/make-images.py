#!/usr/bin/env python3
"""Draws the programs' bitmaps and icons: a parcel with an arrow.

The creator's parcel has an arrow into it: resources/creator/package.bmp
(48 x 48), creator.ico (32 x 32 and 16 x 16) and creator48.ico (48 x 48).
The extractor's has an arrow out of it: resources/extractor/unpack.bmp
(48 x 48), extractor.bmp (124 x 124), extractor.ico (48 x 48, 32 x 32 and
16 x 16). The creator's have 8 bits per pixel, the extractor's 4. The files are kept in the
repository; run this again only to change the pictures.
"""
import os
import struct

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")

# Palette index -> (r, g, b). Index 0 is the background.
PALETTE = [
    (255, 255, 255),  # 0 background (transparent in the icons)
    (120, 78, 40),    # 1 box outline
    (214, 164, 98),   # 2 box front
    (190, 140, 80),   # 3 box side
    (236, 196, 132),  # 4 box top
    (170, 120, 60),   # 5 tape
    (30, 96, 200),    # 6 arrow
    (16, 60, 140),    # 7 arrow outline
]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))


def draw(size, outward=False):
    """Rows of palette indices, top row first; the arrow points down into
    the parcel, or up out of it when `outward`."""
    s = size / 48.0
    px = [[0] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c

    # The parcel: top, front, side, outline and tape.
    rect(6, 20, 42, 27, 4)
    rect(6, 27, 34, 44, 2)
    rect(34, 27, 42, 44, 3)
    rect(18, 20, 22, 44, 5)
    for (x0, y0, x1, y1) in [(6, 20, 42, 21), (6, 43, 42, 44), (6, 20, 7, 44),
                             (41, 20, 42, 44), (6, 27, 42, 28), (34, 27, 35, 44)]:
        rect(x0, y0, x1, y1, 1)
    if outward:
        # The arrow rising out of the parcel's top.
        for row in range(8):
            rect(17 - row, 3 + row, 23 + row, 4 + row, 6)
        rect(16, 11, 24, 21, 6)
        for row in range(8):
            rect(16 - row, 3 + row, 17 - row, 4 + row, 7)
            rect(23 + row, 3 + row, 24 + row, 4 + row, 7)
        rect(8, 11, 16, 12, 7)
        rect(24, 11, 32, 12, 7)
        rect(15, 11, 16, 20, 7)
        rect(24, 11, 25, 20, 7)
        return px
    # The arrow pointing down into the parcel.
    rect(16, 3, 24, 13, 6)
    for row in range(8):
        rect(10 + row, 13 + row, 30 - row, 14 + row, 6)
    rect(15, 3, 16, 13, 7)
    rect(24, 3, 25, 13, 7)
    rect(15, 2, 25, 3, 7)
    return px


def dib(px, with_mask, bits=8):
    """A device-independent bitmap of `px` with 8 or 4 bits per pixel (the
    palette has fewer than 16 colours, so 4 bits lose nothing)."""
    size = len(px)
    colours = 1 << bits
    height = size * 2 if with_mask else size
    header = struct.pack("<IiiHHIIiiII", 40, size, height, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE[:colours])
    stride = ((size * bits + 31) // 32) * 4

    def row_bytes(row):
        if bits == 8:
            data = bytes(row)
        else:
            data = bytes((row[x] << 4) | (row[x + 1] if x + 1 < size else 0)
                         for x in range(0, size, 2))
        return data + b"\0" * (stride - len(data))

    rows = b"".join(row_bytes(px[y]) for y in reversed(range(size)))
    data = header + palette + rows
    if with_mask:
        mask_stride = ((size + 31) // 32) * 4
        mask = b""
        for y in reversed(range(size)):
            row = bytearray(mask_stride)
            for x in range(size):
                if px[y][x] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(row)
        data += mask
    return data


def write_bmp(path, px, bits=8):
    data = dib(px, False, bits)
    offset = 14 + 40 + (1 << bits) * 4
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(data), 0, 0, offset) + data)


def write_ico(path, sizes, outward=False, bits=8):
    images = [dib(draw(size, outward), True, bits) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    colours = (1 << bits) % 256
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(image),
                           offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


creator = os.path.join(RESOURCES, "creator")
write_bmp(os.path.join(creator, "package.bmp"), draw(48))
write_ico(os.path.join(creator, "creator.ico"), [32, 16])
write_ico(os.path.join(creator, "creator48.ico"), [48])
extractor = os.path.join(RESOURCES, "extractor")
# Every byte of the extractor is in every package: 4 bits per pixel.
write_bmp(os.path.join(extractor, "unpack.bmp"), draw(48, outward=True), bits=4)
write_bmp(os.path.join(extractor, "extractor.bmp"), draw(124, outward=True), bits=4)
write_ico(os.path.join(extractor, "extractor.ico"), [48, 32, 16], outward=True, bits=4)
