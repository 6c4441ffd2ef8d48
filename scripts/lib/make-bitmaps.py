#!/usr/bin/python3
"""Writes the button glyphs of the site folder: BmpOK.bmp (a green check) and
BmpX.bmp (a red cross), 16x16 pixels, 24 bits per pixel, uncompressed."""
import struct
import sys
from pathlib import Path

SIZE = 16
BACKGROUND = (240, 240, 240)


def bmp(pixels):
    """pixels[y][x] = (r, g, b), y = 0 at the top."""
    row_bytes = SIZE * 3  # 48: already a multiple of four, no padding
    data = bytearray()
    for y in reversed(range(SIZE)):  # rows are stored bottom-up
        for r, g, b in pixels[y]:
            data += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    assert len(data) == row_bytes * SIZE
    return header + info + bytes(data)


def canvas():
    return [[BACKGROUND] * SIZE for _ in range(SIZE)]


def dot(pixels, x, y, colour):
    for dx in (0, 1):
        for dy in (0, 1):
            if 0 <= x + dx < SIZE and 0 <= y + dy < SIZE:
                pixels[y + dy][x + dx] = colour


def check():
    pixels = canvas()
    green = (0, 160, 0)
    for i in range(4):  # short stroke down to the right
        dot(pixels, 2 + i, 8 + i, green)
    for i in range(9):  # long stroke up to the right
        dot(pixels, 5 + i, 11 - i, green)
    return pixels


def cross():
    pixels = canvas()
    red = (210, 0, 0)
    for i in range(11):
        dot(pixels, 2 + i, 2 + i, red)
        dot(pixels, 13 - i, 2 + i, red)
    return pixels


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "site")
    (folder / "BmpOK.bmp").write_bytes(bmp(check()))
    (folder / "BmpX.bmp").write_bytes(bmp(cross()))


if __name__ == "__main__":
    main()
