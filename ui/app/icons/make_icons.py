#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Draws the Wirepace application icon (16, 32 and 48 pixels) and writes the PNG files and a
# Windows .ico holding all three. Standard library only; run it again after changing the design:
#   python3 ui/app/icons/make_icons.py
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 32, 48)
SUPER = 4  # supersampling per axis, for smooth edges

BACK_TOP = (34, 78, 160)
BACK_BOTTOM = (14, 36, 92)
BAR = (120, 210, 255)
BAR_SIDE = (60, 140, 210)
ARROW = (255, 200, 40)


def inside_rounded(x, y, size, radius):
    # x, y in unit square coordinates scaled by size
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(u, v):
    """Colour (r, g, b, a) of the design at unit coordinates u, v in [0, 1)."""
    if not inside_rounded(u, v, 1.0, 0.18):
        return (0, 0, 0, 0)
    # Three bars of rising length, like the chart of a run: the link's speeds.
    bars = ((0.20, 0.32, 0.46), (0.42, 0.54, 0.66), (0.64, 0.76, 0.86))
    for top, bottom, length in bars:
        left = 0.14
        right = left + length
        if top <= v < bottom and left <= u < right:
            return BAR + (255,)
        depth = 0.05
        if top - depth <= v < top and left + (top - v) <= u < right + (top - v):
            return BAR_SIDE + (255,)
    # An arrow head at the right: the direction of the transfer.
    tip_u, mid_v = 0.90, 0.25
    if 0.70 <= u <= tip_u and abs(v - mid_v) <= (tip_u - u) * 0.9:
        return ARROW + (255,)
    t = v
    return tuple(round(a + (b - a) * t) for a, b in zip(BACK_TOP, BACK_BOTTOM)) + (255,)


def render(size):
    n = size * SUPER
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    r, g, b, a = colour_at((x * SUPER + sx + 0.5) / n, (y * SUPER + sy + 0.5) / n)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (SUPER * SUPER)
            if acc[3]:
                row += bytes(round(c / acc[3]) for c in acc[:3])
            else:
                row += b"\0\0\0"
            row.append(round(alpha))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + r for r in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    return header + entries + data


def main():
    images = []
    for size in SIZES:
        blob = png(size, render(size))
        with open(os.path.join(HERE, "wirepace-%d.png" % size), "wb") as f:
            f.write(blob)
        images.append((size, blob))
    with open(os.path.join(HERE, "wirepace.ico"), "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
