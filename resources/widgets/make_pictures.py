#!/usr/bin/env python3
"""Draws the switch and warning pictures as PNG files beside this script.

SwitchON.png / SwitchOFF.png: 32 x 48, 16-colour palette, teal background that the switch
removes when drawing (its bottom-left pixel). EXCLAMATIONICON.png: 48 x 64 with alpha.
Only the standard library is used: python3 make_pictures.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours of the classic palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, TEAL, SILVER, GRAY, RED, WHITE = 0, 6, 7, 8, 9, 15


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, color_type, rows, palette=None):
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def rocker(on):
    w, h = 32, 48
    px = [[TEAL] * w for _ in range(h)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    def frame(x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            px[y0][x] = c
            px[y1][x] = c
        for y in range(y0, y1 + 1):
            px[y][x0] = c
            px[y][x1] = c

    # Housing: black outer frame, grey cavity around the rocker.
    rect(2, 0, 29, 47, GRAY)
    frame(2, 0, 29, 47, BLACK)
    frame(3, 1, 28, 46, BLACK)
    # The raised end looks larger than the pressed one, so the dividing edge moves toward
    # the pressed end.
    mid = 19 if on else 29
    top = (5, 3, 26, mid - 1)
    bottom = (5, mid, 26, 44)
    pressed, raised = (top, bottom) if on else (bottom, top)

    # Raised half: light face, lit outer end and left edge, dark right edge.
    x0, y0, x1, y1 = raised
    rect(x0, y0, x1, y1, SILVER)
    outer = y0 if raised is top else y1
    for x in range(x0, x1 + 1):
        px[outer][x] = WHITE
        px[outer + (1 if raised is top else -1)][x] = WHITE
    for y in range(y0, y1 + 1):
        px[y][x0] = WHITE
        px[y][x1] = GRAY
        px[y][x1 - 1] = GRAY if y not in (y0, y1) else px[y][x1 - 1]
    # Its inner end stands above the pressed half: a black step.
    step = y1 if raised is top else y0
    for x in range(x0, x1 + 1):
        px[step][x] = BLACK

    # Pressed half: darker face, shaded next to the step and along its right edge.
    x0, y0, x1, y1 = pressed
    rect(x0, y0, x1, y1, GRAY)
    near = y0 if pressed is bottom else y1
    for x in range(x0, x1 + 1):
        px[near][x] = BLACK
    for y in range(y0, y1 + 1):
        px[y][x1] = BLACK
        px[y][x0] = SILVER if y != near else BLACK

    # Indicator window in the upper half: red mark when on, empty when off.
    wx0, wx1 = 10, 21
    wy0, wy1 = (6, 13) if on else (8, 16)
    frame(wx0, wy0, wx1, wy1, BLACK)
    rect(wx0 + 1, wy0 + 1, wx1 - 1, wy1 - 1, RED if on else BLACK)
    # Glass reflection.
    px[wy0 + 2][wx0 + 2] = WHITE if on else GRAY
    px[wy0 + 2][wx0 + 3] = WHITE if on else GRAY

    # "O" mark on the lower half.
    cx, cy = 15, (36 if not on else 33)
    ring = [(-1, -3), (0, -3), (1, -3), (2, -3), (-2, -2), (3, -2), (-2, -1), (3, -1), (-2, 0), (3, 0),
            (-2, 1), (3, 1), (-1, 2), (0, 2), (1, 2), (2, 2)]
    for dx, dy in ring:
        px[cy + dy][cx + dx] = WHITE if not on else BLACK
    return px


def exclamation():
    w, h, ss = 48, 64, 4

    def inside_triangle(x, y, inset):
        # Apex (24, 10), base corners (2, 52) and (46, 52), shrunk by inset.
        ax, ay, by = 24.0, 10.0 + inset * 2.2, 52.0 - inset
        if y < ay or y > by:
            return False
        half = (y - 10.0) * 22.0 / 42.0 - inset * 1.1
        return abs(x - ax) <= half

    def in_mark(x, y):
        if 20.0 <= y <= 40.0:
            half = 3.0 - (y - 20.0) * 1.3 / 20.0
            return abs(x - 24.0) <= half
        return (x - 24.0) ** 2 + (y - 46.0) ** 2 <= 3.2 ** 2

    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    fx = x + (sx + 0.5) / ss
                    fy = y + (sy + 0.5) / ss
                    if not inside_triangle(fx, fy, 0.0):
                        continue
                    if inside_triangle(fx, fy, 2.2) and not in_mark(fx, fy):
                        c = (255, 214, 0)
                    else:
                        c = (0, 0, 0)
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    acc[3] += 1
            n = ss * ss
            if acc[3]:
                row += [int(acc[0] / acc[3]), int(acc[1] / acc[3]), int(acc[2] / acc[3]), int(255 * acc[3] / n)]
            else:
                row += [0, 0, 0, 0]
        rows.append(row)
    return rows


def main():
    for on, name in ((True, "SwitchON.png"), (False, "SwitchOFF.png")):
        write_png(os.path.join(HERE, name), 32, 48, 3, rocker(on), PALETTE)
    write_png(os.path.join(HERE, "EXCLAMATIONICON.png"), 48, 64, 6, exclamation())


if __name__ == "__main__":
    main()
