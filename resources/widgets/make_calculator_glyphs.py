#!/usr/bin/env python3
"""Draws the calculator keypad's glyph strip CalculatorPanelBUTTONS.xpm.

Six 16 x 16 glyphs side by side, in this order: Cancel, OK, change sign, multiply, minus,
plus. The background is transparent. Run it again after changing a glyph:
    python3 make_calculator_glyphs.py > CalculatorPanelBUTTONS.xpm
"""

import math

SIZE = 16
COUNT = 6
COLOURS = {
    ".": "None",
    "r": "#C00000",  # Cancel cross
    "g": "#008000",  # OK tick
    "k": "#000000",  # change sign
    "p": "#800080",  # operators, the keys' own purple
}


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def stroke(grid, colour, segments, width):
    """Sets every pixel whose centre lies within width/2 of one of the segments."""
    for y in range(SIZE):
        for x in range(SIZE):
            cx, cy = x + 0.5, y + 0.5
            if any(segment_distance(cx, cy, *s) <= width / 2 for s in segments):
                grid[y][x] = colour


def rect(grid, colour, x0, y0, x1, y1):
    for y in range(y0, y1):
        for x in range(x0, x1):
            grid[y][x] = colour


def glyphs():
    out = [[["."] * SIZE for _ in range(SIZE)] for _ in range(COUNT)]
    cancel, ok, sign, times, minus, plus = out
    stroke(cancel, "r", [(3, 3, 13, 13), (13, 3, 3, 13)], 2.6)
    stroke(ok, "g", [(2.5, 8.5, 6.5, 12.5), (6.5, 12.5, 13.5, 3.5)], 2.6)
    # Change sign: a small plus over a bar, then a bar below (the plus-minus sign).
    rect(sign, "k", 7, 2, 9, 10)
    rect(sign, "k", 3, 5, 13, 7)
    rect(sign, "k", 3, 11, 13, 13)
    stroke(times, "p", [(4, 4, 12, 12), (12, 4, 4, 12)], 2.2)
    rect(minus, "p", 3, 7, 13, 9)
    rect(plus, "p", 3, 7, 13, 9)
    rect(plus, "p", 7, 3, 9, 13)
    return out


def main():
    strip = glyphs()
    rows = ["".join("".join(g[y]) for g in strip) for y in range(SIZE)]
    print("/* XPM */")
    print("static const char* CalculatorPanelBUTTONS[] = {")
    print(f'"{SIZE * COUNT} {SIZE} {len(COLOURS)} 1",')
    for key, value in COLOURS.items():
        print(f'"{key} c {value}",')
    for i, row in enumerate(rows):
        print(f'"{row}"' + ("," if i + 1 < len(rows) else ""))
    print("};")


if __name__ == "__main__":
    main()
