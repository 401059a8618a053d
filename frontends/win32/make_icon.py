#!/usr/bin/env python3
"""Writes usbisp.ico: the program's icon, drawn here pixel by pixel.

A card reader (grey body, slot at the top) with a memory card half inserted
and a green arrow pointing into it: firmware going into the reader. 16-colour
images at 32 x 32 and 16 x 16, the form every Windows since 95 shows.
Usage: make_icon.py [output]   (default: usbisp.ico beside this script)
"""
import os
import struct
import sys

# The standard 16-colour palette, (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, GREEN, BLUE, YELLOW, WHITE = 0, 8, 7, 10, 12, 11, 15
CLEAR = None


def draw(size):
    """Returns rows top to bottom, each a list of palette indexes or CLEAR."""
    s = size / 32.0
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    # Reader body with a dark outline and its slot.
    rect(2, 14, 30, 30, BLACK)
    rect(3, 15, 29, 29, LIGHT_GREY)
    rect(3, 26, 29, 29, DARK_GREY)
    rect(8, 15, 24, 17, BLACK)
    # Status lamp.
    rect(24, 21, 27, 24, GREEN)
    # Memory card going into the slot, with its contacts.
    rect(10, 3, 22, 16, BLACK)
    rect(11, 4, 21, 16, BLUE)
    rect(12, 5, 18, 8, WHITE)
    for x in (12, 15, 18):
        rect(x, 12, x + 2, 15, YELLOW)
    # Arrow into the reader.
    rect(5, 2, 7, 10, GREEN)
    for i in range(4):
        rect(2 + i, 8 + i, 10 - i, 9 + i, GREEN)
    return px


def image(size):
    px = draw(size)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bitmaps are stored bottom-up
        bits = bytearray(xor_row)
        for x, colour in enumerate(row):
            value = 0 if colour is CLEAR else colour
            bits[x // 2] |= value << (4 if x % 2 == 0 else 0)
        xor += bits
        mbits = bytearray(and_row)
        for x, colour in enumerate(row):
            if colour is CLEAR:
                mbits[x // 8] |= 0x80 >> (x % 8)
        mask += mbits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "usbisp.ico")
    images = [(32, image(32)), (16, image(16))]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    for _, body in images:
        data += body
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
