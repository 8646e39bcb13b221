#!/usr/bin/env python3
"""Draws the program's pictures: the logo (logo.png, 1024 x 1024 RGBA) and the icon
(program.ico, one 128 x 128 image, 32 bits with alpha).

Both show the same mark: a bold white chevron over a small arc, on a blue rounded square whose
corners are transparent. Only the standard library is used; the generated files are committed,
so the build never runs this script.

    python3 make_images.py [output folder]
"""

import math
import os
import struct
import sys
import zlib

TOP = (0x2F, 0x7D, 0xD8)  # square, top of the gradient
BOTTOM = (0x12, 0x3C, 0x7A)  # square, bottom of the gradient
MARK = (0xFF, 0xFF, 0xFF)
ACCENT = (0xFF, 0xCC, 0x00)


def _segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def _rounded_square_distance(px, py, size, radius):
    """Signed distance to a rounded square filling [0, size]: negative inside."""
    half = size / 2.0
    qx = abs(px - half) - (half - radius)
    qy = abs(py - half) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def _coverage(distance):
    """Anti-aliased coverage of a pixel whose centre lies `distance` from an edge."""
    return max(0.0, min(1.0, 0.5 - distance))


def render(size):
    """Returns rows of (r, g, b, a) tuples, straight (not premultiplied) alpha."""
    s = float(size)
    radius = 0.2 * s
    stroke = 0.085 * s  # half the chevron's stroke width
    chevron = ((0.27 * s, 0.25 * s), (0.5 * s, 0.66 * s), (0.73 * s, 0.25 * s))
    arc_centre = (0.5 * s, 0.52 * s)
    arc_radius = 0.34 * s
    arc_half_width = 0.035 * s

    rows = []
    for y in range(size):
        row = []
        cy = y + 0.5
        shade = cy / s
        base = tuple(TOP[i] + (BOTTOM[i] - TOP[i]) * shade for i in range(3))
        for x in range(size):
            cx = x + 0.5
            square = _coverage(_rounded_square_distance(cx, cy, s, radius))
            if square <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            colour = base
            # The arc under the chevron: the lower half of a ring.
            ring = abs(math.hypot(cx - arc_centre[0], cy - arc_centre[1]) - arc_radius)
            if cy > arc_centre[1] + 0.12 * s:
                a = _coverage(ring - arc_half_width)
                colour = tuple(colour[i] + (ACCENT[i] - colour[i]) * a for i in range(3))
            d = min(
                _segment_distance(cx, cy, *chevron[0], *chevron[1]),
                _segment_distance(cx, cy, *chevron[1], *chevron[2]),
            )
            m = _coverage(d - stroke)
            colour = tuple(colour[i] + (MARK[i] - colour[i]) * m for i in range(3))
            row.append(tuple(int(round(c)) for c in colour) + (int(round(255 * square)),))
        rows.append(row)
    return rows


def png_bytes(rows):
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    # 8 bits per channel, colour type 6 (RGBA), deflate, adaptive filtering, not interlaced.
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )


def ico_bytes(rows):
    """One 32-bit DIB image with its AND mask, the way icon resources store it."""
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    dib = (
        struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        + pixels
        + mask
    )
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(dib), 6 + 16)
    return directory + entry + dib


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "logo.png"), "wb") as f:
        f.write(png_bytes(render(1024)))
    with open(os.path.join(folder, "program.ico"), "wb") as f:
        f.write(ico_bytes(render(128)))


if __name__ == "__main__":
    main()
