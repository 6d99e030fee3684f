#!/usr/bin/env python3
"""Draws the demo's sample photo: a landscape at late afternoon (sky, sun, clouds, two ranges of
hills, fields and a lake), procedurally and with the standard library only, as a PNG.

    python3 scripts/make-sample-photo.py samples/photo.png
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 1200, 800
HORIZON = 0.58 * HEIGHT
SUN = (0.72 * WIDTH, 0.30 * HEIGHT, 46.0)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def smooth_noise(x, y, seed):
    """A cheap, smooth pseudo-noise from a few incommensurate waves."""
    return (math.sin(x * 0.011 + seed) * math.cos(y * 0.017 - seed * 1.3)
            + 0.5 * math.sin(x * 0.023 - y * 0.019 + seed * 2.1)
            + 0.25 * math.sin(x * 0.051 + y * 0.047 + seed * 0.7)) / 1.75


def ridge(x, base, amplitude, seed):
    return base - amplitude * (0.6 * math.sin(x * 0.004 + seed) + 0.3 * math.sin(x * 0.011 + seed * 2)
                               + 0.1 * math.sin(x * 0.031 + seed * 3))


def sky(x, y):
    t = y / HORIZON
    colour = mix((38, 86, 160), (250, 206, 150), t ** 1.6)
    dx, dy = x - SUN[0], y - SUN[1]
    distance = math.hypot(dx, dy)
    glow = math.exp(-distance / 160.0)
    colour = mix(colour, (255, 236, 190), glow * 0.8)
    if distance < SUN[2]:
        colour = mix((255, 250, 228), colour, max(0.0, distance - SUN[2] + 1.5))
    cloud = smooth_noise(x * 0.6, y * 2.2, 1.7) * (1 - t) - 0.35
    if cloud > 0:
        colour = mix(colour, (252, 244, 236), min(cloud * 2.2, 0.85))
    return colour


def land(x, y, far_ridge, near_ridge):
    if y < near_ridge:
        depth = (y - far_ridge) / max(near_ridge - far_ridge, 1.0)
        colour = mix((92, 116, 150), (70, 110, 96), depth)
        return mix(colour, (250, 206, 150), 0.25 * (1 - depth))
    depth = (y - near_ridge) / (HEIGHT - near_ridge)
    field = math.sin(x * 0.02 + y * 0.09 + 3 * smooth_noise(x, y, 4.2))
    colour = mix((96, 140, 62), (58, 98, 40), depth)
    colour = mix(colour, (150, 160, 70), 0.18 * (field + 1) * (1 - depth))
    light = 1.0 + 0.12 * smooth_noise(x * 1.7, y * 1.7, 9.1)
    return tuple(c * light for c in colour)


def lake(x, y, colour):
    """Mirrors the sky in a lake at the bottom left, with ripples."""
    centre_x, centre_y = 0.30 * WIDTH, 0.86 * HEIGHT
    if ((x - centre_x) / 300.0) ** 2 + ((y - centre_y) / 70.0) ** 2 > 1:
        return colour
    mirrored = HORIZON - (y - (centre_y - 70)) * 3.0 + 4 * math.sin(y * 0.9 + x * 0.01)
    return mix(sky(x, min(max(mirrored, 0), HORIZON)), (30, 60, 80), 0.25)


def pixel(x, y, far_ridge, near_ridge):
    if y < far_ridge:
        colour = sky(x, y)
    else:
        colour = lake(x, y, land(x, y, far_ridge, near_ridge))
    return bytes(int(min(max(c, 0), 255)) for c in colour)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def write_png(path, rows):
    raw = bytearray()
    previous = bytes(len(rows[0]))
    for row in rows:
        raw.append(4)  # Paeth filter
        for i, value in enumerate(row):
            left = row[i - 3] if i >= 3 else 0
            upper_left = previous[i - 3] if i >= 3 else 0
            raw.append((value - paeth(left, previous[i], upper_left)) & 0xFF)
        previous = row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "samples/photo.png"
    far = [ridge(x, HORIZON, 70, 0.4) for x in range(WIDTH)]
    near = [ridge(x, HORIZON + 60, 45, 2.9) for x in range(WIDTH)]
    rows = [b"".join(pixel(x, y, far[x], near[x]) for x in range(WIDTH)) for y in range(HEIGHT)]
    write_png(path, rows)


if __name__ == "__main__":
    main()
