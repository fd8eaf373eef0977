#!/usr/bin/env python3
"""Draws examples/TempSplashImage.gif, the example's splash image: a framed
banner with a diagonal stripe pattern, 160 x 60, four colours. The file is
kept in the repository; run this again only to change the picture.

GIF's LZW data is written without compression: a clear code before every
254 pixels keeps all codes 9 bits wide."""
import os
import struct

WIDTH, HEIGHT = 160, 60
PALETTE = [(0, 0, 0), (30, 96, 200), (236, 196, 132), (255, 255, 255)]


def pixel(x, y):
    if x < 4 or y < 4 or x >= WIDTH - 4 or y >= HEIGHT - 4:
        return 0  # black: the transparent colour of the splash window
    if x < 8 or y < 8 or x >= WIDTH - 8 or y >= HEIGHT - 8:
        return 1
    return 2 if ((x + y) // 10) % 2 else 3


def lzw(indices, min_code_size=8):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    codes = []
    for i, index in enumerate(indices):
        if i % 254 == 0:
            codes.append(clear)
        codes.append(index)
    codes.append(end)
    bits, count, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += 9
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes([min_code_size]) + bytes(blocks) + b"\0"


palette = b"".join(bytes(c) for c in PALETTE) + b"\0\0\0" * (256 - len(PALETTE))
data = [pixel(x, y) for y in range(HEIGHT) for x in range(WIDTH)]
gif = b"GIF89a" + struct.pack("<HHBBB", WIDTH, HEIGHT, 0xF7, 0, 0) + palette
gif += b"," + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0) + lzw(data) + b";"
path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "TempSplashImage.gif")
with open(path, "wb") as f:
    f.write(gif)
