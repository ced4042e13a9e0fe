# SPDX-License-Identifier: MIT
"""Reads and writes PNG images with the standard library alone (zlib), enough for the
screenshots a browser makes: 8-bit greyscale, RGB, RGBA and palette images, not interlaced."""

import struct
import zlib


class Image:
    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self.pixels = pixels  # rows from the top, (r, g, b) per pixel, row after row

    def at(self, x, y):
        return self.pixels[y * self.width + x]

    def crop(self, left, top, width, height):
        rows = []
        for y in range(top, top + height):
            rows.extend(self.pixels[y * self.width + left:y * self.width + left + width])
        return Image(width, height, rows)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG file")
    at, idat, palette = 8, b"", None
    width = height = depth = colour = interlace = None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if depth != 8 or interlace != 0 or colour not in (0, 2, 3, 4, 6):
        raise ValueError(f"{path}: PNG form not read here (depth {depth}, colour {colour})")
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    stride = width * channels
    raw = zlib.decompress(idat)
    pixels, previous = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        kind, line = raw[base], bytearray(raw[base + 1:base + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                line[i] = (line[i] + _paeth(a, b, c)) & 0xFF
        for x in range(width):
            p = line[x * channels:(x + 1) * channels]
            if colour == 0 or colour == 4:
                pixels.append((p[0], p[0], p[0]))
            elif colour == 3:
                pixels.append(palette[p[0]])
            else:
                pixels.append((p[0], p[1], p[2]))
        previous = line
    return Image(width, height, pixels)


def write_png(path, image):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = bytearray()
    for y in range(image.height):
        raw.append(0)
        for r, g, b in image.pixels[y * image.width:(y + 1) * image.width]:
            raw += bytes((r, g, b))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", image.width, image.height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))
