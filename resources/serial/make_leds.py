#!/usr/bin/env python3
"""Draws the twelve signal-lamp pictures as PNG files beside this script.

Each picture is 15 x 15 with the 16-colour palette and a teal background that the lamp
removes when drawing (its bottom-left pixel). The five lights are a round lens in a grey
bezel: lit, a bright lens with a ring of bright dots around it; unlit, a dark lens. The bulb
is a white light bulb on a grey base, with yellow rays when lit.
Only the standard library is used: python3 make_leds.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 15

# The 16 colours of the classic palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY = range(9)
RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(9, 16)

# name -> (bright colour, dark colour)
LIGHTS = {
    "RED": (RED, MAROON),
    "GREEN": (LIME, GREEN),
    "BLUE": (BLUE, NAVY),
    "YELLOW": (YELLOW, OLIVE),
    "PURPLE": (FUCHSIA, PURPLE),
}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, rows):
    # 4-bit palette image: two pixels per byte.
    raw = b""
    for r in rows:
        packed = bytearray()
        for i in range(0, SIZE, 2):
            hi = r[i]
            lo = r[i + 1] if i + 1 < SIZE else 0
            packed.append((hi << 4) | lo)
        raw += b"\x00" + bytes(packed)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 4, 3, 0, 0, 0))
    out += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def blank():
    return [[TEAL] * SIZE for _ in range(SIZE)]


def dist2(x, y, cx=7, cy=7):
    return (x - cx) ** 2 + (y - cy) ** 2


def light(bright, dark, on):
    px = blank()
    for y in range(SIZE):
        for x in range(SIZE):
            d = dist2(x, y)
            if d <= 12:  # lens
                px[y][x] = bright if on else dark
            elif d <= 22:  # bezel: lit from the top left
                px[y][x] = SILVER if x + y < 13 else GRAY
            elif d <= 26:  # outer edge of the bezel
                px[y][x] = GRAY if x + y < 13 else BLACK
    # Reflection on the glass.
    px[5][5] = WHITE if on else bright
    px[5][6] = WHITE if on else dark
    px[6][5] = WHITE if on else dark
    if on:
        # Ring of bright dots around the bezel.
        for x, y in [(7, 0), (7, 14), (0, 7), (14, 7), (2, 2), (12, 2), (2, 12), (12, 12)]:
            px[y][x] = bright
    return px


def bulb(on):
    px = blank()
    # Glass: white, pear-shaped, black outline; (first x, last x) of each row's outline.
    glass = {1: (5, 9), 2: (4, 10), 3: (3, 11), 4: (3, 11), 5: (3, 11), 6: (4, 10), 7: (5, 9), 8: (5, 9)}
    for y, (x0, x1) in glass.items():
        for x in range(x0, x1 + 1):
            px[y][x] = BLACK if y == 1 or x in (x0, x1) else WHITE
    # Screw base and its tip.
    for y in (9, 10, 11):
        for x in range(5, 10):
            px[y][x] = SILVER if y % 2 == 1 else GRAY
    for x in (6, 7, 8):
        px[12][x] = BLACK
    # Filament.
    for x, y in [(6, 5), (7, 4), (8, 5)]:
        px[y][x] = YELLOW if on else GRAY
    if on:
        rays = [(7, 0), (1, 1), (2, 2), (13, 1), (12, 2), (0, 4), (1, 4), (13, 4), (14, 4), (1, 7), (2, 6),
                (13, 7), (12, 6)]
        for x, y in rays:
            px[y][x] = YELLOW
    return px


def main():
    for name, (bright, dark) in LIGHTS.items():
        write_png(os.path.join(HERE, "LED%sON.png" % name), light(bright, dark, True))
        write_png(os.path.join(HERE, "LED%sOFF.png" % name), light(bright, dark, False))
    write_png(os.path.join(HERE, "LEDBULBON.png"), bulb(True))
    write_png(os.path.join(HERE, "LEDBULBOFF.png"), bulb(False))


if __name__ == "__main__":
    main()
