#!/usr/bin/env python3
"""Writes the seed inputs of the ".art" reader's fuzz target.

    make_art_seeds.py [DIR]          write every seed into DIR
    make_art_seeds.py --check [DIR]  exit 1 unless DIR holds exactly these seeds

DIR defaults to corpus/ next to this script. Seeds named valid-* must parse,
broken-* must be refused; each broken one is a valid file with one thing
wrong, so the fuzzer starts next to every check the reader makes.

The layout (src/artfile/artformat.h): a 132-byte header, P identical
palettes of 256 four-byte entries, a 28-byte header per frame, then each
frame's width * height index bytes. Every field is a 32-bit little-endian
two's-complement integer.
"""

import argparse
import pathlib
import struct
import sys

SIGNATURE = b"KESTRIN-ART-PAL1"  # palette slot k holds characters 4k..4k+3
DIRECTIONS = 8
STATIC, ROTATABLE = 1, 0
RATE = 8  # what the writer stores for the default frame rate
# static flag, rate, directions, palette slots, action frame, frames per direction, 96 zero bytes
HEADER = struct.Struct("<iii16sii96x")
# width, height, index byte count, centre x, centre y, 8 zero bytes
FRAME = struct.Struct("<iiiii8x")
PALETTE_SIZE = 1024


def header(frames_per_direction, static=STATIC, palettes=1, slots=None, directions=DIRECTIONS):
    """The 132-byte header; the slots say `palettes` unless given."""
    if slots is None:
        slots = SIGNATURE[: 4 * palettes]
    return HEADER.pack(static, RATE, directions, slots.ljust(16, b"\0"), 0, frames_per_direction)


def palette():
    """Black and four colours (blue, green, red, 0); the unused entries are zero."""
    entries = [struct.pack("<BBBx", 40 * i % 256, 70 * i % 256, 90 * i % 256) for i in range(5)]
    return b"".join(entries).ljust(PALETTE_SIZE, b"\0")


def frame(width, height, centre=(0, 0), size=None):
    """A frame header; its index byte count is width * height unless given."""
    return FRAME.pack(width, height, width * height if size is None else size, *centre)


def sprite(frames, indices, frames_per_direction=None, static=STATIC, palettes=1):
    """A whole file: header, palettes, frame headers, index bytes."""
    if frames_per_direction is None:
        frames_per_direction = len(frames) if static == STATIC else len(frames) // DIRECTIONS
    return (header(frames_per_direction, static, palettes) + palette() * palettes + b"".join(frames)
            + bytes(indices))


# ---- files that must parse ---------------------------------------------------

def valid_no_frames():
    # four palettes (every slot set) and a frame count of zero: nothing after the palettes
    return sprite([], [], palettes=4)


def valid_static_two_frames():
    # a static sequence of frames of different sizes, data back to back
    return sprite([frame(3, 2, (1, 1)), frame(2, 2, (1, 1))], [0, 3, 1, 0, 3, 1] + [1, 4, 1, 4])


def valid_empty_frame():
    # a 0 x 0 frame (no index bytes, no image) before one with negative centre
    return sprite([frame(0, 0), frame(2, 1, (-5, 7))], [2, 0])


def valid_rotatable_eight_directions():
    # a rotatable sprite: 8 directions of one frame each, two palettes
    return sprite([frame(1, 1)] * DIRECTIONS, [d % 5 for d in range(DIRECTIONS)],
                  static=ROTATABLE, palettes=2)


# ---- files that must be refused ------------------------------------------------

def broken_header_cut():
    # shorter than the header
    return header(1)[:100]


def broken_slot_gap():
    # palette slot 1 set while slot 0 is zero
    return header(1, slots=bytes(4) + b"ABCD") + palette() + frame(1, 1) + b"\1"


def broken_seven_directions():
    # a direction count other than 8
    return header(1, directions=7) + palette() + frame(1, 1) + b"\0"


def broken_palettes_differ():
    # the second palette copy differs from the first only in its last entry
    second = palette()[:-4] + struct.pack("<BBBx", 1, 0, 0)
    return header(1, palettes=2) + palette() + second + frame(1, 1) + b"\1"


def broken_huge_frame_count():
    # 8 directions of 2^31 - 1 frames: far more frame headers than the file holds
    return sprite([frame(1, 1)], [1], frames_per_direction=0x7FFFFFFF, static=ROTATABLE)


def broken_size_wraps_32_bits():
    # 65536 x 65536 pixels, whose count wraps to the stored size 0 in 32 bits
    return sprite([frame(65536, 65536, size=0)], [])


def broken_data_cut():
    # the last frame's index bytes end one byte early
    return sprite([frame(2, 2, (1, 1))], [0, 3, 0])


def broken_trailing_byte():
    # one byte after the last frame's index bytes
    return sprite([frame(2, 2, (1, 1))], [0, 3, 0, 3] + [0])


SEEDS = {
    name.replace("_", "-") + ".art": make
    for name, make in sorted(globals().items())
    if name.startswith(("valid_", "broken_")) and callable(make)
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare DIR with the seeds instead of writing them")
    parser.add_argument("dir", nargs="?", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent / "corpus")
    args = parser.parse_args()
    if args.check:
        return check(args.dir)
    args.dir.mkdir(parents=True, exist_ok=True)
    for name, make in SEEDS.items():
        (args.dir / name).write_bytes(make())
    print(f"{len(SEEDS)} seeds written to {args.dir}")
    for path in sorted(args.dir.glob("*.art")):
        if path.name not in SEEDS:
            print(f"not made here, left as it is: {path.name}")
    return 0


def check(folder):
    """Lists every seed that is missing or differs and every file no seed names."""
    if not folder.is_dir():
        print(f"not a folder: {folder}", file=sys.stderr)
        return 1
    problems = []
    for name, make in SEEDS.items():
        path = folder / name
        if not path.is_file():
            problems.append(f"missing: {name}")
        elif path.read_bytes() != make():
            problems.append(f"differs from what make_art_seeds.py writes: {name}")
    for path in sorted(folder.iterdir()):
        if path.name not in SEEDS and path.suffix != ".md":
            problems.append(f"not made by make_art_seeds.py: {path.name}")
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"remake the seeds with: {sys.argv[0]} {folder}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
