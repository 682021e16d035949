#!/usr/bin/env python3
"""Draws the application icon IDR_MAINFRAME and writes it as vostrel.ico.

The icon is a blue tile holding a silver disc (the installation medium) with
a green arrow leaving it (the trimmed copy). Each size is drawn from the same
shapes with 4x4 supersampling, at 32 bits per pixel with alpha and at 8 bits
per pixel with a palette, as a group icon of 16, 32 and 48 pixel images.

Usage: make_icon.py [output.ico]   (default: vostrel.ico beside this script)
"""
import math
import os
import struct
import sys
from collections import Counter

SIZES = (16, 32, 48)
SUPER = 4


def rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def sample(x, y):
    """Colour (r, g, b, a) of the unit-square point (x, y), painter's order."""
    colour = None
    if rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.18):
        shade = 1.0 - 0.35 * y  # lighter at the top
        colour = (int(30 * shade), int(90 * shade), int(190 * shade), 255)
        if not rounded_rect(x, y, 0.07, 0.07, 0.93, 0.93, 0.15):
            colour = (15, 45, 110, 255)  # rim
    # The disc.
    dx, dy = x - 0.42, y - 0.55
    r = math.hypot(dx, dy)
    if r <= 0.32:
        if r <= 0.07:
            colour = (30, 70, 150, 255) if r > 0.04 else colour  # the hole shows the tile
        else:
            angle = math.atan2(dy, dx)
            glint = 0.5 + 0.5 * math.cos(2 * angle)
            grey = int(175 + 70 * glint)
            colour = (grey, grey, min(255, grey + 10), 255)
            if r >= 0.30:
                colour = (90, 100, 120, 255)
    # The arrow: shaft and head pointing up-right.
    ax, ay = x - 0.70, y - 0.34
    u = (ax + ay) / math.sqrt(2)  # across the arrow
    v = (ax - ay) / math.sqrt(2)  # along it, towards the top right
    in_shaft = -0.22 <= v <= 0.06 and abs(u) <= 0.06
    in_head = 0.02 <= v <= 0.24 and abs(u) <= (0.24 - v) * 0.85
    if in_shaft or in_head:
        colour = (40, 190, 70, 255)
    elif (-0.25 <= v <= 0.09 and abs(u) <= 0.09) or (-0.01 <= v <= 0.29 and abs(u) <= (0.29 - v) * 0.85 + 0.02):
        colour = (10, 60, 20, 255)  # outline
    return colour


def render(size):
    pixels = []
    n = size * SUPER
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    c = sample((px * SUPER + sx + 0.5) / n, (py * SUPER + sy + 0.5) / n)
                    if c is not None:
                        a = c[3]
                        acc[0] += c[0] * a
                        acc[1] += c[1] * a
                        acc[2] += c[2] * a
                        acc[3] += a
            count = SUPER * SUPER
            alpha = acc[3] // count
            if acc[3]:
                rgb = tuple(int(acc[i] / acc[3]) for i in range(3))
            else:
                rgb = (0, 0, 0)
            row.append(rgb + (alpha,))
        pixels.append(row)
    return pixels


def mask_rows(pixels):
    size = len(pixels)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def header(size, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def image_32(pixels):
    size = len(pixels)
    body = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    return header(size, 32, 0) + body + mask_rows(pixels)


def image_8(pixels):
    size = len(pixels)
    # Partly transparent edges are blended over the usual dialog grey.
    def flat(p):
        a = p[3] / 255.0
        return tuple(int(p[i] * a + 192 * (1 - a)) for i in range(3))

    opaque = [flat(p) for row in pixels for p in row if p[3] >= 128]
    popular = Counter((c[0] >> 3, c[1] >> 3, c[2] >> 3) for c in opaque)
    palette = [(0, 0, 0)] + [tuple((v << 3) | 4 for v in key) for key, _ in popular.most_common(255)]
    palette += [(0, 0, 0)] * (256 - len(palette))

    def nearest(c):
        best = min(range(1, 256), key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))
        return best

    cache = {}
    stride = (size + 3) // 4 * 4
    body = b""
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] >= 128:
                c = flat(p)
                if c not in cache:
                    cache[c] = nearest(c)
                line[x] = cache[c]
        body += bytes(line)
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header(size, 8, 256) + table + body + mask_rows(pixels)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "vostrel.ico")
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, 8, image_8(pixels)))
        images.append((size, 32, image_32(pixels)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(target, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
