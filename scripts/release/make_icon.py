#!/usr/bin/env python3
"""Draws the program's icon (a crescent moon over a bar chart on a night-blue tile) and
writes it as a Windows icon file with a 32x32 and a 16x16 image (32-bit colour with
alpha). With --png FILE it also writes a large preview.

Usage: scripts/release/make_icon.py [OUT.ico] [--png PREVIEW.png]
"""
import math
import struct
import sys
import zlib

SUPER = 8  # samples per pixel along each axis


def inside_round_rect(x, y, r):
    """Unit square with rounded corners of radius r."""
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(x, y):
    """Colour (r, g, b, a) at a point of the unit square; y grows downwards."""
    if not inside_round_rect(x, y, 0.18):
        return (0, 0, 0, 0)
    # Bars of the chart: hours slept per night.
    bars = [(0.16, 0.34, 0.64), (0.40, 0.58, 0.52), (0.64, 0.82, 0.58)]
    for left, right, top in bars:
        if left <= x <= right and top <= y <= 0.86:
            return (120, 200, 255, 255)
    # Base line of the chart.
    if 0.10 <= x <= 0.90 and 0.86 <= y <= 0.91:
        return (230, 240, 255, 255)
    # Crescent moon: a disc less a shifted disc.
    mx, my, mr = 0.64, 0.27, 0.18
    sx, sy, sr = 0.72, 0.21, 0.155
    if (x - mx) ** 2 + (y - my) ** 2 <= mr * mr and (x - sx) ** 2 + (y - sy) ** 2 > sr * sr:
        return (255, 214, 80, 255)
    # A star.
    if (x - 0.25) ** 2 + (y - 0.22) ** 2 <= 0.035 ** 2:
        return (255, 255, 230, 255)
    # Night sky, lighter towards the bottom.
    t = y
    return (int(20 + 30 * t), int(30 + 40 * t), int(80 + 60 * t), 255)


def render(size):
    """Pixels (r, g, b, a) row by row from the top, averaged over SUPER x SUPER samples."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    r, g, b, a = shade((px + (sx + 0.5) / SUPER) / size,
                                       (py + (sy + 0.5) / SUPER) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SUPER * SUPER
            alpha = acc[3] / n
            if acc[3]:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(rows):
    """A BITMAPINFOHEADER image: bottom-up BGRA pixels, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_ico(path, sizes):
    images = [(s, icon_image(render(s))) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


def write_png(path, rows, scale):
    size = len(rows) * scale
    raw = b""
    for row in rows:
        line = b"\0" + b"".join(bytes(p) * scale for p in row)
        raw += line * scale
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main(args):
    out = "src/AutoQuillmer.ico"
    png = None
    rest = list(args)
    while rest:
        a = rest.pop(0)
        if a == "--png":
            png = rest.pop(0)
        else:
            out = a
    write_ico(out, [32, 16])
    if png:
        write_png(png, render(32), 8)
        write_png(png.replace(".png", "-16.png"), render(16), 8)


if __name__ == "__main__":
    main(sys.argv[1:])
