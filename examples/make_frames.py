#!/usr/bin/env python3
"""Writes the example project: 3 stages x 6 frames of 32 x 32 pixels.

Each frame is a small round creature with an eye and a pointer that shows its
view direction, bouncing a little from frame to frame, drawn off-centre on a
flat magenta background (255, 0, 255). "Apply" in Kestrin trims every frame to
the creature, and "Pick" then "Apply transparency" makes the background clear.

The files follow Kestrin's default pattern "camera%1_%2.bmp": stage numbers
01 to 03, frame numbers 0000 to 0005. Run from anywhere; the frames land in
the folder "walker" beside this script. Only the Python standard library is
used, so the output is the same on every machine.
"""

import math
import os
import struct

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


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "walker")
    os.makedirs(folder, exist_ok=True)
    for stage in range(STAGES):
        for frame in range(FRAMES):
            name = "camera%02d_%04d.bmp" % (stage + 1, frame)
            with open(os.path.join(folder, name), "wb") as out:
                out.write(bmp_bytes(draw(stage, frame)))
    print("wrote %d frames to %s" % (STAGES * FRAMES, folder))


if __name__ == "__main__":
    main()
