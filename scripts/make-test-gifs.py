#!/usr/bin/env python3
"""Writes the images of the splash tests into tests/windows/fixtures/.

Every picture is 9 x 7 pixels in four colours: a red frame round a centre
whose colour tells the frames apart. The animated files differ in their
frame delays (hundredths of a second). The damaged files are cut from good
ones or are no image at all. The files are kept in the repository; run this
again only to change them.

The LZW data is written without compression: with a minimum code size of 2
every code is 3 bits wide as long as a clear code comes before every two
pixels, so no decoder ever widens its codes."""
import os
import struct

WIDTH, HEIGHT = 9, 7
PALETTE = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]
MIN_CODE_SIZE = 2
PIXELS_PER_CLEAR = 2


def frame_pixels(centre):
    """The red frame with the centre in palette colour `centre`."""
    return [
        1 if x == 0 or y == 0 or x == WIDTH - 1 or y == HEIGHT - 1 else centre
        for y in range(HEIGHT)
        for x in range(WIDTH)
    ]


def lzw(indices):
    clear, end = 1 << MIN_CODE_SIZE, (1 << MIN_CODE_SIZE) + 1
    width = MIN_CODE_SIZE + 1
    codes = []
    for i, index in enumerate(indices):
        if i % PIXELS_PER_CLEAR == 0:
            codes.append(clear)
        codes.append(index)
    codes.append(end)
    bits, count, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for start in range(0, len(data), 255):
        chunk = data[start:start + 255]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\0")


def gif(frames, screen=(WIDTH, HEIGHT), picture=(WIDTH, HEIGHT)):
    """`frames`: (centre colour, delay or None for no control block).
    `screen` and `picture` are the sizes that the file claims; the pixels
    written are always WIDTH x HEIGHT."""
    out = bytearray(b"GIF89a")
    # Global colour table of 4 entries (size field 1), 2 bits per colour.
    out += struct.pack("<HHBBB", screen[0], screen[1], 0x80 | 0x10 | 0x01, 0, 0)
    for rgb in PALETTE:
        out += bytes(rgb)
    if len(frames) > 1:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for centre, delay in frames:
        if delay is not None:
            out += b"\x21\xf9\x04\x00" + struct.pack("<H", delay) + b"\x00\x00"
        out += b"\x2c" + struct.pack("<HHHHB", 0, 0, picture[0], picture[1], 0)
        out += bytes([MIN_CODE_SIZE]) + sub_blocks(lzw(frame_pixels(centre)))
    out += b"\x3b"
    return bytes(out)


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "windows",
                          "fixtures")
    os.makedirs(folder, exist_ok=True)
    still = gif([(2, None)])
    files = {
        "still.gif": still,
        "frames_delay0.gif": gif([(2, 0), (3, 0), (0, 0)]),
        "frames_delay5.gif": gif([(2, 5), (3, 5), (0, 5)]),
        # The first frame stays 300 ms; the others as briefly as allowed.
        "frames_held.gif": gif([(2, 30), (3, 6), (0, 0)]),
        "frames_no_delay.gif": gif([(2, None), (3, None)]),
        # Damaged and hostile: the header alone, a file cut inside its
        # picture, a few bytes that claim a screen and a picture of 65535
        # pixels square, text.
        "header_only.gif": still[:13],
        "cut_in_picture.gif": still[:len(still) - 12],
        "huge_screen.gif": gif([(2, None)], screen=(65535, 65535), picture=(65535, 65535)),
        "not_an_image.bin": b"This is a read-me text, not a picture.\r\n",
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
