#!/usr/bin/env python3
"""Draws the program icon (a life ring around a play triangle) and writes it as a Windows .ico.

Usage: tools/make-icon.py OUTPUT.ico
       tools/make-icon.py OUTPUT.png      (the 256-pixel image alone, for Linux desktops)
Pure standard library: 16, 24, 32 and 48 pixel images as 32-bit DIBs, 256 as PNG.
"""
import math
import struct
import sys
import zlib

SUPERSAMPLE = 4


def colour_at(x, y):
    """RGBA of the design at (x, y) in the unit square, or None for transparent."""
    cx, cy = x - 0.5, y - 0.5
    r = math.hypot(cx, cy)
    # Play triangle, pointing right, centred.
    if -0.15 <= cx <= 0.2:
        half = (0.2 - cx) * 0.5 / 0.35 * 0.35
        if abs(cy) <= half:
            return (255, 255, 255, 255)
    # Life ring: red and white quarters, turned 45 degrees.
    if 0.32 <= r <= 0.47:
        angle = (math.degrees(math.atan2(cy, cx)) + 45.0) % 360.0
        return (220, 40, 40, 255) if int(angle // 90) % 2 == 0 else (250, 250, 250, 255)
    if 0.30 <= r <= 0.49:
        return (40, 40, 40, 255)
    # Dark blue disc inside the ring.
    if r < 0.30:
        return (24, 72, 140, 255)
    return None


def render(size):
    """Rows of RGBA tuples, top row first, antialiased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append(tuple(int(acc[i] / acc[3]) for i in range(3)) + (int(alpha),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    """A 32-bit BITMAPINFOHEADER image with its AND mask, as an .ico entry wants it."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png(rows):
    size = len(rows)
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make-icon.py OUTPUT.ico|OUTPUT.png')
    if sys.argv[1].endswith('.png'):
        with open(sys.argv[1], 'wb') as f:
            f.write(png(render(256)))
        return
    images = [(s, dib(render(s))) for s in (16, 24, 32, 48)] + [(256, png(render(256)))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
