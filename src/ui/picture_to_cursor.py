#!/usr/bin/env python3
"""Makes a monochrome 32 x 32 Windows cursor file (.cur) from an ASCII picture.

    picture_to_cursor.py PICTURE CURSOR

The picture has a line "hotspot X Y" and 32 rows of 32 pixels, each row between
two bars: '#' black, '.' white, ' ' transparent. Lines starting with '#' before
the first row are comments. Any other line, or a row of another width, is an error.
"""
import struct
import sys

SIZE = 32
# (AND mask bit, XOR bit) of each pixel: the screen is ANDed, then XORed.
PIXELS = {"#": (0, 0), ".": (0, 1), " ": (1, 0)}


def read_picture(path):
    hotspot = None
    rows = []
    with open(path, encoding="ascii") as picture:
        for number, line in enumerate(picture, 1):
            line = line.rstrip("\n")
            if line.startswith("|"):
                if len(line) != SIZE + 2 or not line.endswith("|"):
                    sys.exit(f"{path}:{number}: a row is {SIZE} pixels between two bars")
                row = line[1:-1]
                if any(pixel not in PIXELS for pixel in row):
                    sys.exit(f"{path}:{number}: pixels are '#', '.' or ' '")
                rows.append(row)
            elif line.startswith("hotspot "):
                hotspot = tuple(int(value) for value in line.split()[1:3])
            elif line and not line.startswith("#"):
                sys.exit(f"{path}:{number}: not a comment, hot spot or row")
    if len(rows) != SIZE or hotspot is None:
        sys.exit(f"{path}: needs {SIZE} rows and a hot spot line")
    return hotspot, rows


def mask_bytes(rows, plane):
    """One bit a pixel, leftmost pixel in the highest bit, bottom row first."""
    data = bytearray()
    for row in reversed(rows):
        bits = 0
        for pixel in row:
            bits = (bits << 1) | PIXELS[pixel][plane]
        data += bits.to_bytes(SIZE // 8, "big")
    return bytes(data)


def cursor_file(hotspot, rows):
    xor_mask = mask_bytes(rows, 1)
    and_mask = mask_bytes(rows, 0)
    # The image's height counts both masks.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 1, 0,
                         len(xor_mask) + len(and_mask), 0, 0, 2, 0)
    colours = struct.pack("<4B4B", 0, 0, 0, 0, 255, 255, 255, 0)
    image = header + colours + xor_mask + and_mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, hotspot[0], hotspot[1], len(image),
                        len(directory) + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: picture_to_cursor.py PICTURE CURSOR")
    hotspot, rows = read_picture(sys.argv[1])
    with open(sys.argv[2], "wb") as cursor:
        cursor.write(cursor_file(hotspot, rows))


if __name__ == "__main__":
    main()
