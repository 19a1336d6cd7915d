#!/usr/bin/env python3
"""Draws the program's icon (a window with a globe-like lens) and writes src/resources/app.ico
with PNG images of 32, 64, 128 and 256 pixels. Uses only the standard library."""
import math
import struct
import sys
import zlib


def pixel(x, y, n):
    u, v = (x + 0.5) / n, (y + 0.5) / n
    # rounded square frame
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r - 0.02), 0)
    dy = max(abs(v - 0.5) - (0.5 - r - 0.02), 0)
    if math.hypot(dx, dy) > r:
        return (0, 0, 0, 0)
    if v < 0.26:  # title bar
        return (34, 52, 92, 255) if not (u > 0.72 and abs(v - 0.15) < 0.05) else (240, 200, 80, 255)
    # body: blue gradient with a bright circular lens
    d = math.hypot(u - 0.5, v - 0.6)
    if d < 0.26:
        t = d / 0.26
        ring = abs(math.sin(u * 18)) < 0.12 or abs(v - 0.6) < 0.015
        base = (90 + int(80 * (1 - t)), 190 + int(50 * (1 - t)), 240, 255)
        return (255, 255, 255, 255) if ring and t < 0.95 else base
    g = int(120 + 80 * v)
    return (40, g // 2 + 40, g + 40, 255)


def png(n):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y, n)) for x in range(n)) for y in range(n))
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main(out):
    sizes = [32, 64, 128, 256]
    images = [png(n) for n in sizes]
    header = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    entries = b""
    for n, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "src/resources/app.ico")
