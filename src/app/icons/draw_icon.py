#!/usr/bin/python3
"""Draws the application icon in six sizes: resgraft-<size>.png beside this script.

The motif: a source page (blue) whose picture square is carried down by an arrow onto a
destination page (green). Drawn by coverage sampling, standard library only, so the
icons can be redrawn anywhere: python3 draw_icon.py
"""
import os
import struct
import zlib

SIZES = (16, 24, 32, 48, 64, 128)


def png(width, height, rgba):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\x00" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1
    return inside


def arrow(x, y):
    # A downward arrow in the middle of the icon: shaft and head.
    shaft = 0.44 <= x <= 0.56 and 0.30 <= y <= 0.56
    head = 0.56 <= y <= 0.70 and abs(x - 0.5) <= (0.70 - y) * 1.1
    return shaft or head


# Shapes painted in order, later ones on top: (test, colour RGBA).
SHAPES = [
    (rounded_rect(0.06, 0.04, 0.66, 0.50, 0.06), (52, 101, 164, 255)),    # source page
    (rounded_rect(0.12, 0.10, 0.38, 0.36, 0.03), (252, 233, 79, 255)),    # its picture
    (rounded_rect(0.34, 0.46, 0.94, 0.96, 0.06), (78, 154, 6, 255)),      # destination page
    (rounded_rect(0.58, 0.62, 0.84, 0.88, 0.03), (252, 233, 79, 255)),    # the picture, carried
    (arrow, (255, 255, 255, 255)),
]


def draw(size):
    samples = 4
    rgba = bytearray(size * size * 4)
    for py in range(size):
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = None
                    for test, c in SHAPES:
                        if test(x, y):
                            colour = c
                    if colour:
                        for k in range(3):
                            acc[k] += colour[k] * colour[3] / 255.0
                        acc[3] += colour[3]
            n = samples * samples
            alpha = acc[3] / n
            i = (py * size + px) * 4
            if alpha > 0:
                for k in range(3):
                    rgba[i + k] = min(255, round(acc[k] / n * 255.0 / alpha))
            rgba[i + 3] = round(alpha)
    return png(size, size, rgba)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for s in SIZES:
        with open(os.path.join(here, "resgraft-%d.png" % s), "wb") as f:
            f.write(draw(s))
