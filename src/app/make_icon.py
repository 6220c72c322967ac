#!/usr/bin/env python3
"""Writes MRP_Quillon.ico, the program's icon, from the pixel art below.

The art is drawn by hand for each size (a Morse straight key under a dash
and a dot, on a blue tile), so the small sizes stay sharp instead of being
scaled down. The output is byte-for-byte the same on every run; after
changing the art, run this script and commit the .ico with it:

    python3 src/app/make_icon.py
"""

import os
import struct

# Colours as (red, green, blue); "." is transparent.
PALETTE = {
    "B": (0x1B, 0x33, 0x55),  # tile border
    "b": (0x2E, 0x5A, 0x8C),  # tile
    "W": (0xFF, 0xFF, 0xFF),  # dash and dot
    "Y": (0xE8, 0xB0, 0x30),  # brass lever
    "y": (0x9C, 0x6E, 0x14),  # lever shadow
    "K": (0x1A, 0x1A, 0x1A),  # knob
    "w": (0x8C, 0x8C, 0x8C),  # knob highlight
    "G": (0xB4, 0xB4, 0xB4),  # base plate
    "g": (0x5A, 0x5A, 0x5A),  # posts and plate edge
}

IMAGES = [
    [
        "................",
        "..BBBBBBBBBBBB..",
        ".BbbbbbbbbbbbbB.",
        ".BbWWWWWWbbWWbB.",
        ".BbWWWWWWbbWWbB.",
        ".BbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbB.",
        ".BbbbbbbbbKKKbB.",
        ".BbbbbbbbbKKKbB.",
        ".BbYYYYYYYYYYbB.",
        ".BbbggbbbbbggbB.",
        ".BbGGGGGGGGGGbB.",
        ".BbggggggggggbB.",
        ".BbbbbbbbbbbbbB.",
        "..BBBBBBBBBBBB..",
        "................",
    ],
    [
        "................................",
        "...BBBBBBBBBBBBBBBBBBBBBBBBBB...",
        "..BbbbbbbbbbbbbbbbbbbbbbbbbbbB..",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbWWWWWWWWWWWWbbbbWWWWbbbbB.",
        ".BbbbbWWWWWWWWWWWWbbbbWWWWbbbbB.",
        ".BbbbbWWWWWWWWWWWWbbbbWWWWbbbbB.",
        ".BbbbbWWWWWWWWWWWWbbbbWWWWbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbKKKKKKbbbB.",
        ".BbbbbbbbbbbbbbbbbbbKKwwKKKKbbB.",
        ".BbbbbbbbbbbbbbbbbbbKKKKKKKKbbB.",
        ".BbbbbbbbbbbbbbbbbbbKKKKKKKKbbB.",
        ".BbbbbbbbbbbbbbbbbbbKKKKKKKKbbB.",
        ".BbbbbbbbbbbbbbbbbbbbKKKKKKbbbB.",
        ".BbbbYYYYYYYYYYYYYYYYYYYYYYYbbB.",
        ".BbbbYYYYYYYYYYYYYYYYYYYYYYYbbB.",
        ".BbbbyyyyyyyyyyyyyyyyyyyyyyybbB.",
        ".BbbbbbggggbbbbbbbbbbbgggbbbbbB.",
        ".BbbbbbggggbbbbbbbbbbbgggbbbbbB.",
        ".BbbbbbggggbbbbbbbbbbbgggbbbbbB.",
        ".BbbGGGGGGGGGGGGGGGGGGGGGGGGbbB.",
        ".BbbGGGGGGGGGGGGGGGGGGGGGGGGbbB.",
        ".BbbggggggggggggggggggggggggbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        "..BbbbbbbbbbbbbbbbbbbbbbbbbbbB..",
        "...BBBBBBBBBBBBBBBBBBBBBBBBBB...",
        "................................",
    ],
    [
        "................................................",
        "...BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB...",
        "..BBbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbBB..",
        ".BBbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbBB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbWWWWWWWWWWWWWWWWWWbbbbbbWWWWWWbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKwwwKKKKKbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKwwwKKKKKKbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKKKKKbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKKKKKbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKKKKKbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKKKbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbKKKKKKKKbbbbbbB.",
        ".BbbbbbYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYbbbbB.",
        ".BbbbbbYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYbbbbB.",
        ".BbbbbbYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYbbbbB.",
        ".BbbbbbyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyybbbbB.",
        ".BbbbbbbbbggggggbbbbbbbbbbbbbbbbbggggbbbbbbbbbB.",
        ".BbbbbbbbbggggggbbbbbbbbbbbbbbbbbggggbbbbbbbbbB.",
        ".BbbbbbbbbggggggbbbbbbbbbbbbbbbbbggggbbbbbbbbbB.",
        ".BbbbbbbbbggggggbbbbbbbbbbbbbbbbbggggbbbbbbbbbB.",
        ".BbbbbbbbbggggggbbbbbbbbbbbbbbbbbggggbbbbbbbbbB.",
        ".BbbbbGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGbbbbB.",
        ".BbbbbGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGbbbbB.",
        ".BbbbbGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGbbbbB.",
        ".BbbbbggggggggggggggggggggggggggggggggggggbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbB.",
        ".BBbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbBB.",
        "..BBbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbBB..",
        "...BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB...",
        "................................................",
    ],
]


def bitmap(rows):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows, then the 1-bit
    AND mask, both bottom-up; the header's height counts both halves."""
    size = len(rows)
    assert all(len(row) == size for row in rows), "art must be square"
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_row_bytes = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, key in enumerate(row):
            if key == ".":
                pixels += bytes(4)
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                red, green, blue = PALETTE[key]
                pixels += bytes((blue, green, red, 0xFF))
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def icon_file(images):
    blobs = [bitmap(rows) for rows in images]
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    offset = len(directory) + 16 * len(blobs)
    entries = b""
    for rows, blob in zip(images, blobs):
        size = len(rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return directory + entries + b"".join(blobs)


if __name__ == "__main__":
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "MRP_Quillon.ico")
    with open(target, "wb") as output:
        output.write(icon_file(IMAGES))
    print(target)
