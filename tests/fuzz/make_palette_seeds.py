#!/usr/bin/env python3
"""Writes the seed files of the palette-file fuzz target (fuzz_palette).

The first byte of an input picks the format the rest is read as: 0 GIMP
palette, 1 JASC palette, 2 colour table, 3 sprite file. `valid-*` seeds must
parse, `broken-*` seeds must be refused.

    tests/fuzz/make_palette_seeds.py            # rewrites tests/fuzz/palette-corpus/
    tests/fuzz/make_palette_seeds.py --check    # exit 1 unless the folder holds these bytes
"""
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
GIMP, JASC, ACT, ART = 0, 1, 2, 3


def valid_gimp():
    """Header, a name, a comment, two entries (one named)."""
    return bytes([GIMP]) + b"GIMP Palette\nName: seed\n# c\n0 0 0 Black\n255 128 1\n"


def broken_gimp_value():
    """A channel above 255."""
    return bytes([GIMP]) + b"GIMP Palette\n1 2 300\n"


def valid_jasc():
    """CR LF line ends, two entries."""
    return bytes([JASC]) + b"JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n"


def broken_jasc_count_huge():
    """A count far beyond 256 and beyond the lines that follow."""
    return bytes([JASC]) + b"JASC-PAL\n0100\n" + b"9" * 20 + b"\n"


def valid_act_772():
    """768 bytes of colours, then a count of 3 and no transparent index."""
    return bytes([ACT]) + bytes(i % 256 for i in range(768)) + struct.pack(">HH", 3, 0xFFFF)


def broken_act_count_257():
    """A count beyond the 256 entries a colour table holds."""
    return bytes([ACT]) + bytes(768) + struct.pack(">HH", 257, 0)


def valid_art():
    """A sprite file's first palette: the .art seed of two static frames."""
    return bytes([ART]) + (HERE / "corpus" / "valid-static-two-frames.art").read_bytes()


def broken_art_header():
    """A sprite file of a zero header: no palette slot is set."""
    return bytes([ART]) + bytes(131)


SEEDS = {name.replace("_", "-"): make for name, make in list(globals().items())
         if name.startswith(("valid_", "broken_")) and callable(make)}


def main(argv):
    check = "--check" in argv
    rest = [a for a in argv if a != "--check"]
    folder = pathlib.Path(rest[0]) if rest else HERE / "palette-corpus"
    folder.mkdir(parents=True, exist_ok=True)
    differ = []
    for name, make in sorted(SEEDS.items()):
        path = folder / name
        data = make()
        if check:
            if not path.exists() or path.read_bytes() != data:
                differ.append(name)
        else:
            path.write_bytes(data)
    others = sorted(p.name for p in folder.iterdir() if p.name not in SEEDS)
    for name in others:
        print(f"left alone: {name}")
    if differ:
        print("not as made: " + ", ".join(differ), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
