#!/usr/bin/env python3
"""Draws the program's icon: orvik.svg and orvik-<N>.png (N = 16 ... 256) beside this script.

A dark scope screen in a rounded frame with a green trace that breaks into an amber spike:
a transient caught on the chart. The SVG and the PNGs are drawn from the same shapes; the
PNGs are rasterised here with 4 x 4 supersampling, so only the standard library is used:
python3 make_icon.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = [16, 22, 24, 32, 48, 64, 128, 256]

# Shapes in a 256 x 256 design space.
FRAME = (8, 8, 248, 248, 44)  # x0, y0, x1, y1, corner radius
FRAME_TOP, FRAME_BOTTOM = (0x3A, 0x5A, 0x78), (0x16, 0x26, 0x36)
SCREEN = (30, 30, 226, 226, 24)
SCREEN_COLOR = (0x08, 0x1C, 0x12)
GRID_COLOR = (0x1E, 0x46, 0x32)
GRID = [30 + 196 * i / 4 for i in (1, 2, 3)]
TRACE_COLOR = (0x4C, 0xF0, 0x7A)
SPIKE_COLOR = (0xFF, 0xB0, 0x20)


def _trace():
    pts = []
    for i in range(0, 25):
        x = 40 + i * 3.5
        pts.append((x, 150 + 22 * math.sin((x - 40) / 84 * 2 * math.pi)))
    spike = [(128, 150), (142, 54), (156, 200), (168, 134)]
    tail = []
    for i in range(1, 17):
        x = 168 + i * 3
        tail.append((x, 150 - 16 * math.exp(-(x - 168) / 18) * math.cos((x - 168) / 8)))
    return pts, spike, tail


SINE, SPIKE, TAIL = _trace()
TRACE = SINE + SPIKE[1:] + TAIL


def stroke_width(size):
    # Thin strokes vanish at 16 pixels: keep at least about 1.6 pixels.
    return max(12.0, 1.6 * 256 / size)


def in_round_rect(x, y, r):
    x0, y0, x1, y1, rad = r
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + rad), x1 - rad)
    cy = min(max(y, y0 + rad), y1 - rad)
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


def seg_dist2(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(1.0, max(0.0, t))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return qx * qx + qy * qy


def near_line(x, y, pts, half):
    h2 = half * half
    return any(seg_dist2(x, y, pts[i], pts[i + 1]) <= h2 for i in range(len(pts) - 1))


def color_at(x, y, size):
    """Colour (r, g, b, a) of the design-space point (x, y)."""
    if not in_round_rect(x, y, FRAME):
        return (0, 0, 0, 0)
    half = stroke_width(size) / 2
    if in_round_rect(x, y, SCREEN):
        if near_line(x, y, SPIKE, half):
            return SPIKE_COLOR + (255,)
        if near_line(x, y, SINE, half) or near_line(x, y, [SPIKE[-1]] + TAIL, half):
            return TRACE_COLOR + (255,)
        grid_half = max(1.5, 0.6 * 256 / size)
        if size >= 32 and any(abs(x - g) <= grid_half or abs(y - g) <= grid_half for g in GRID):
            return GRID_COLOR + (255,)
        return SCREEN_COLOR + (255,)
    t = (y - FRAME[1]) / (FRAME[3] - FRAME[1])
    return tuple(round(a + (b - a) * t) for a, b in zip(FRAME_TOP, FRAME_BOTTOM)) + (255,)


def render(size, samples=4):
    scale = 256 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    r, g, b, a = color_at(x, y, size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if acc[3]:
                row += bytes((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(alpha)))
            else:
                row += bytes(4)
        rows.append(row)
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, size, rows):
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def hex_color(c):
    return "#%02x%02x%02x" % c


def points(pts):
    return " ".join("%.1f,%.1f" % p for p in pts)


def write_svg(path):
    x0, y0, x1, y1, r = FRAME
    sx0, sy0, sx1, sy1, sr = SCREEN
    w = stroke_width(256)
    grid = "".join(
        f'    <line x1="{g:.1f}" y1="{sy0}" x2="{g:.1f}" y2="{sy1}"/>\n'
        f'    <line x1="{sx0}" y1="{g:.1f}" x2="{sx1}" y2="{g:.1f}"/>\n'
        for g in GRID
    )
    svg = f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="frame" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{hex_color(FRAME_TOP)}"/>
      <stop offset="1" stop-color="{hex_color(FRAME_BOTTOM)}"/>
    </linearGradient>
    <clipPath id="screen">
      <rect x="{sx0}" y="{sy0}" width="{sx1 - sx0}" height="{sy1 - sy0}" rx="{sr}"/>
    </clipPath>
  </defs>
  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{r}" fill="url(#frame)"/>
  <rect x="{sx0}" y="{sy0}" width="{sx1 - sx0}" height="{sy1 - sy0}" rx="{sr}" fill="{hex_color(SCREEN_COLOR)}"/>
  <g stroke="{hex_color(GRID_COLOR)}" stroke-width="3">
{grid}  </g>
  <g clip-path="url(#screen)" fill="none" stroke-width="{w:g}" stroke-linecap="round" stroke-linejoin="round">
    <polyline stroke="{hex_color(TRACE_COLOR)}" points="{points(SINE)}"/>
    <polyline stroke="{hex_color(TRACE_COLOR)}" points="{points([SPIKE[-1]] + TAIL)}"/>
    <polyline stroke="{hex_color(SPIKE_COLOR)}" points="{points(SPIKE)}"/>
  </g>
</svg>
"""
    with open(path, "w", encoding="utf-8") as f:
        f.write(svg)


def main():
    write_svg(os.path.join(HERE, "orvik.svg"))
    for size in SIZES:
        write_png(os.path.join(HERE, f"orvik-{size}.png"), size, render(size))


if __name__ == "__main__":
    main()
