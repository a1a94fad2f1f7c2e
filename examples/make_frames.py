#!/usr/bin/env python3
"""Writes the example frame folders.

walker/: 3 stages x 6 frames of 32 x 32 pixels (BMP). Each frame is a small round creature with an eye and a pointer that shows its
view direction, bouncing a little from frame to frame, drawn off-centre on a
flat magenta background (255, 0, 255). "Apply" in Kestrin trims every frame to
the creature, and "Pick" then "Apply transparency" makes the background clear.

The files follow Kestrin's default pattern "camera%1_%2.bmp": stage numbers
01 to 03, frame numbers 0000 to 0005.

turret/: 8 stages x 2 frames of 16 x 16 pixels (PNG, "turret%1_%2.png"), a
rotatable sprite: a turret whose barrel points in each of the 8 directions,
firing in its second frame.

blinker/: 1 stage x 4 frames of 24 x 24 pixels (BMP, default pattern), a
static sprite: an eye that closes and opens again.

The pipeline example (pipeline/) builds one sprite from each folder. Run from
anywhere; the folders land beside this script. Only the Python standard
library is used, so the output is the same on every machine.
"""

import binascii
import math
import os
import struct
import zlib

SIDE = 32
STAGES = 3
FRAMES = 6
BACKGROUND = (255, 0, 255)
BODY = [(220, 90, 40), (60, 160, 70), (60, 90, 210)]  # one colour per stage
DIRECTIONS = [0.0, 2.0 * math.pi / 3.0, 4.0 * math.pi / 3.0]  # where the pointer aims


def draw(stage, frame):
    """Rows of (r, g, b), top row first."""
    pixels = [[BACKGROUND] * SIDE for _ in range(SIDE)]
    bounce = round(3 * math.sin(frame * math.pi / 3.0))
    cx, cy, radius = 13, 17 - bounce, 7  # off-centre, so trimming moves the origin
    body = BODY[stage]
    shade = tuple(c // 2 for c in body)
    for y in range(SIDE):
        for x in range(SIDE):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= radius * radius:
                pixels[y][x] = shade if d2 > (radius - 2) ** 2 else body
    angle = DIRECTIONS[stage]
    for step in range(radius, radius + 5):  # the pointer
        x = cx + round(step * math.cos(angle))
        y = cy - round(step * math.sin(angle))
        if 0 <= x < SIDE and 0 <= y < SIDE:
            pixels[y][x] = (250, 230, 60)
    ex = cx + round(3 * math.cos(angle))  # the eye looks the same way
    ey = cy - round(3 * math.sin(angle))
    pixels[ey][ex] = (255, 255, 255)
    # Feet that swap with every frame, so the animation shows.
    foot = 1 if frame % 2 else -1
    for fx in (cx - 3 + foot, cx + 3 - foot):
        pixels[cy + radius][fx] = (40, 40, 40)
    return pixels


def bmp_bytes(pixels):
    """A 24-bit uncompressed BMP, rows stored bottom-up as the format wants."""
    height, width = len(pixels), len(pixels[0])
    row_size = (width * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_size - len(line))
        image += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    return header + info + bytes(image)


def png_bytes(pixels):
    """An 8-bit RGB PNG, no filtering, compressed at zlib's highest level."""
    height, width = len(pixels), len(pixels[0])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", binascii.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for rgb in row for c in rgb) for row in pixels)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


TURRET_SIDE = 16
TURRET_BACKGROUND = (0, 96, 96)


def draw_turret(direction, frame):
    """A round base, off-centre, and a barrel at direction * 45 degrees. The
    base is round so that the corner of a trimmed frame is background, the
    colour the writer puts at palette index 0."""
    pixels = [[TURRET_BACKGROUND] * TURRET_SIDE for _ in range(TURRET_SIDE)]
    cx, cy = 7, 8
    for y in range(cy - 2, cy + 3):
        for x in range(cx - 2, cx + 3):
            if (x - cx) ** 2 + (y - cy) ** 2 <= 6:
                pixels[y][x] = (150, 150, 160)
    angle = direction * math.pi / 4.0
    for step in range(2, 7):
        x = cx + round(step * math.cos(angle))
        y = cy - round(step * math.sin(angle))
        pixels[y][x] = (60, 60, 70)
    if frame == 1:  # the muzzle flash, one step past the barrel
        x = cx + round(7 * math.cos(angle))
        y = cy - round(7 * math.sin(angle))
        pixels[y][x] = (255, 200, 40)
    return pixels


BLINK_SIDE = 24
BLINK_BACKGROUND = (40, 40, 40)


def draw_blinker(frame):
    """An eye whose lid covers 0, 2, 4 and then 2 rows of its 9 rows."""
    pixels = [[BLINK_BACKGROUND] * BLINK_SIDE for _ in range(BLINK_SIDE)]
    cx, cy = 11, 12
    lid = [0, 2, 4, 2][frame]
    for y in range(cy - 4, cy + 5):
        for x in range(cx - 8, cx + 9):
            if ((x - cx) / 8.0) ** 2 + ((y - cy) / 4.0) ** 2 > 1.0:
                continue
            if abs(y - cy) > 4 - lid:
                pixels[y][x] = (200, 150, 110)  # the lid
            elif (x - cx) ** 2 + (y - cy) ** 2 <= 9:
                pixels[y][x] = (30, 90, 200)  # the iris
            else:
                pixels[y][x] = (245, 245, 240)
    return pixels


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    walker = os.path.join(here, "walker")
    for stage in range(STAGES):
        for frame in range(FRAMES):
            write(walker, "camera%02d_%04d.bmp" % (stage + 1, frame), bmp_bytes(draw(stage, frame)))
    print("wrote %d frames to %s" % (STAGES * FRAMES, walker))
    turret = os.path.join(here, "turret")
    for direction in range(8):
        for frame in range(2):
            write(turret, "turret%02d_%04d.png" % (direction + 1, frame), png_bytes(draw_turret(direction, frame)))
    print("wrote 16 frames to %s" % turret)
    blinker = os.path.join(here, "blinker")
    for frame in range(4):
        write(blinker, "camera01_%04d.bmp" % frame, bmp_bytes(draw_blinker(frame)))
    print("wrote 4 frames to %s" % blinker)


if __name__ == "__main__":
    main()
