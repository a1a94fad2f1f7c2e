#!/usr/bin/env python3
"""Writes the decoder's corpus of real-world files into OUTDIR: each valid
and broken variant that the common tools write (Pillow, ImageMagick, netpbm,
libtiff's tools, libjpeg-turbo's tools, webp, gifsicle), and a manifest
(manifest.tsv) of what decoding each must give:

    NAME <tab> valid  <tab> REFERENCE        the pixels in REFERENCE (.rgba)
    NAME <tab> broken <tab> KIND <tab> WORDS refused as KIND, the reason holding WORDS

A .rgba reference is "RGBA", width and height (32-bit little-endian), then
the pixels row by row, 4 bytes each. References come from the pixels the
file was made from, or from the format's own library tool where a lossy
format has no exact pixels (djpeg)."""
import os
import shutil
import struct
import subprocess
import sys
import zlib

from PIL import Image, TiffImagePlugin

OUT = sys.argv[1]
W, H = 61, 20  # odd, unequal sides; 61 is one of the RLE8 widths that matter


def tool(*names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    sys.exit("make_corpus: none of %s is installed" % ", ".join(names))


CONVERT = tool("convert-im6.q16", "convert")
manifest = []


def run(*args, **kw):
    subprocess.run([str(a) for a in args], check=True, cwd=OUT, **kw)


def at(name):
    return os.path.join(OUT, name)


def pixel(x, y):
    """The source picture: gradients, a block, and alpha in four levels with
    colour under the low ones (no symmetry hides a flipped axis)."""
    r = (x * 4 + y) & 0xFF
    g = (y * 12 + (x >> 2)) & 0xFF
    b = 200 if 10 <= x < 20 and y < 7 else (x * y) & 0xFF
    a = (255, 1, 128, 0)[(x // 8 + y // 5) % 4]
    return r, g, b, a


def picture(mode="RGBA"):
    im = Image.new("RGBA", (W, H))
    im.putdata([pixel(x, y) for y in range(H) for x in range(W)])
    return im if mode == "RGBA" else im.convert(mode)


def write_reference(name, im):
    im = im.convert("RGBA")
    with open(at(name), "wb") as f:
        f.write(b"RGBA" + struct.pack("<II", *im.size) + im.tobytes())
    return name


def valid(name, reference_image):
    manifest.append([name, "valid", write_reference(name + ".rgba", reference_image)])


def broken(name, kind, words):
    manifest.append([name, "broken", kind, words])


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(ihdr, rows, before=b""):
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + before + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


def damage(name, offset, out, xor=0x55):
    data = bytearray(open(at(name), "rb").read())
    data[offset] ^= xor
    open(at(out), "wb").write(bytes(data))


def cut(name, out, keep):
    data = open(at(name), "rb").read()
    open(at(out), "wb").write(data[:keep] if keep >= 0 else data[:len(data) + keep])


# ---- PNG --------------------------------------------------------------------
def png_files():
    # 16-bit RGB with a colour key: every sample v * 257, so 8 bits keep it exactly.
    key = pixel(5, 3)[:3]
    rows = b"".join(b"\0" + b"".join(struct.pack(">HHH", *(c * 257 for c in pixel(x, y)[:3])) for x in range(W))
                    for y in range(H))
    ihdr = struct.pack(">IIBBBBB", W, H, 16, 2, 0, 0, 0)
    trns = chunk(b"tRNS", struct.pack(">HHH", *(c * 257 for c in key)))
    open(at("rgb16-colour-key.png"), "wb").write(png(ihdr, rows, trns))
    keyed = Image.new("RGBA", (W, H))
    keyed.putdata([pixel(x, y)[:3] + ((0,) if pixel(x, y)[:3] == key else (255,))
                   for y in range(H) for x in range(W)])
    valid("rgb16-colour-key.png", keyed)

    picture().save(at("rgba-by-pil.png"))
    valid("rgba-by-pil.png", picture())

    # The colour key's CRC damaged: libpng drops the chunk with a warning.
    data = bytearray(open(at("rgb16-colour-key.png"), "rb").read())
    crc_at = data.index(b"tRNS") + 4 + 6
    data[crc_at] ^= 1
    open(at("trns-crc-damaged.png"), "wb").write(bytes(data))
    broken("trns-crc-damaged.png", "Truncated", "CRC")

    # A damaged zlib checksum, the stream in one IDAT: only a warning in libpng.
    eight = b"".join(b"\0" + bytes(c for x in range(W) for c in pixel(x, y)[:3]) for y in range(H))
    good = png(struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0), eight)
    z = bytearray(zlib.compress(eight))
    z[-1] ^= 0xFF
    bad = (good[:33] + chunk(b"IDAT", bytes(z)) + chunk(b"IEND", b""))
    open(at("zlib-checksum-damaged.png"), "wb").write(bad)
    broken("zlib-checksum-damaged.png", "Truncated", "libpng")

    data = bytearray(good)
    data[37:41] = b"I#AT"  # an invalid chunk type where the data starts
    struct.pack_into(">I", data, 41 + len(zlib.compress(eight)), zlib.crc32(bytes(data[37:41 + len(zlib.compress(eight))])))
    open(at("invalid-chunk-type.png"), "wb").write(bytes(data))
    broken("invalid-chunk-type.png", "NotAnImage", "libpng")

    cut("rgba-by-pil.png", "cut-in-data.png", -200)
    broken("cut-in-data.png", "Truncated", "ends")


# ---- JPEG -------------------------------------------------------------------
def jpeg_files():
    picture("RGB").save(at("source.ppm"))
    run(tool("cjpeg"), "-quality", "90", "-outfile", "baseline.jpg", "source.ppm")
    run(tool("cjpeg"), "-progressive", "-outfile", "progressive.jpg", "source.ppm")
    for name in ("baseline.jpg", "progressive.jpg"):
        run(tool("djpeg"), "-outfile", name + ".ppm", name)
        valid(name, Image.open(at(name + ".ppm")))
    # Scan data complete, the end-of-image marker missing: the image is whole.
    cut("baseline.jpg", "no-end-marker.jpg", -2)
    valid("no-end-marker.jpg", Image.open(at("baseline.jpg.ppm")))
    cut("baseline.jpg", "cut-in-scan.jpg", -300)
    broken("cut-in-scan.jpg", "Truncated", "libjpeg")
    data = bytearray(open(at("baseline.jpg"), "rb").read())
    scan = data.index(b"\xff\xda") + 40
    for i in range(scan, scan + 40, 3):
        data[i] = 0xFF if data[i + 1] not in (0x00,) else data[i]
    open(at("corrupt-scan.jpg"), "wb").write(bytes(data))
    broken("corrupt-scan.jpg", "Truncated", "libjpeg")


# ---- TIFF -------------------------------------------------------------------
def tiff_files():
    tiffcp = tool("tiffcp")
    picture("RGB").save(at("rgb.tif"))
    valid("rgb.tif", picture("RGB"))
    run(tiffcp, "-t", "-w", "16", "-l", "16", "rgb.tif", "tiled.tif")
    valid("tiled.tif", picture("RGB"))
    run(tiffcp, "-p", "separate", "rgb.tif", "planar.tif")
    valid("planar.tif", picture("RGB"))
    run(tiffcp, "-t", "-w", "16", "-l", "16", "-p", "separate", "rgb.tif", "tiled-planar.tif")
    valid("tiled-planar.tif", picture("RGB"))
    picture().save(at("rgba-unassociated.tif"))
    valid("rgba-unassociated.tif", picture())
    run(tiffcp, "-t", "-w", "16", "-l", "16", "rgba-unassociated.tif", "rgba-tiled.tif")
    valid("rgba-tiled.tif", picture())
    run(tiffcp, "-c", "lzw:2", "rgba-unassociated.tif", "rgba-lzw-predictor.tif")
    valid("rgba-lzw-predictor.tif", picture())
    # 16 bits a sample, unassociated alpha: every sample v * 257.
    picture().save(at("rgba8.png"))
    run(CONVERT, "rgba8.png", "-depth", "16", "-define", "tiff:alpha=unassociated", "rgba16-unassociated.tif")
    valid("rgba16-unassociated.tif", picture())
    picture("LA").save(at("grey-alpha.tif"))
    valid("grey-alpha.tif", picture("LA"))

    # Bilevel, CCITT G4, then its code words damaged.
    bits = picture("L").point(lambda v: 255 if v > 100 else 0).convert("1")
    bits.save(at("bilevel.tif"))
    run(tiffcp, "-c", "g4", "bilevel.tif", "g4.tif")
    valid("g4.tif", bits)
    data = bytearray(open(at("g4.tif"), "rb").read())
    for i in range(8, 8 + 30):
        data[i] = 0x00
    open(at("g4-bad-codes.tif"), "wb").write(bytes(data))
    broken("g4-bad-codes.tif", "Truncated", "libtiff")

    run(tiffcp, "-c", "jpeg", "rgb.tif", "jpeg-in-tiff.tif")
    data = bytearray(open(at("jpeg-in-tiff.tif"), "rb").read())
    scan = data.index(b"\xff\xda") + 30
    for i in range(scan, scan + 60, 2):
        data[i] = 0xFF
    open(at("jpeg-in-tiff-corrupt.tif"), "wb").write(bytes(data))
    broken("jpeg-in-tiff-corrupt.tif", "Truncated", "libtiff")

    # Predictor set on uncompressed rows: libtiff knows no such tag there.
    predictor = TiffImagePlugin.ImageFileDirectory_v2()
    predictor[317] = 2
    picture("RGB").save(at("predictor-ignored.tif"), tiffinfo=predictor)
    broken("predictor-ignored.tif", "Unsupported", "317")

    cut("rgb.tif", "cut-in-strip.tif", 600)
    broken("cut-in-strip.tif", "Truncated", "libtiff")


# ---- WebP, GIF ----------------------------------------------------------------
def webp_gif_files():
    picture().save(at("source.png"))
    run(tool("cwebp"), "-quiet", "-lossless", "-exact", "source.png", "-o", "lossless.webp")
    valid("lossless.webp", picture())
    cut("lossless.webp", "cut.webp", -100)
    broken("cut.webp", "Truncated", "libwebp")

    indexed = picture("RGB").quantize(16)
    indexed.save(at("pil.gif"))
    run(tool("gifsicle"), "-O2", "pil.gif", "-o", "gifsicle.gif")
    valid("gifsicle.gif", indexed.convert("RGB"))
    cut("gifsicle.gif", "cut.gif", -60)
    broken("cut.gif", "Truncated", "giflib")

    # A 4 x 3 frame at (1, 1) of a 6 x 5 canvas whose background is colour 2:
    # around the frame the canvas shows the background colour, or, when the
    # frame has a transparent colour (1), that colour with alpha 0.
    palette = [(10, 20, 30), (200, 0, 0), (0, 200, 0), (0, 0, 200)]
    indices = [0, 1, 2, 3, 1, 1, 2, 2, 3, 3, 0, 0]
    frame = Image.new("P", (4, 3))
    frame.putpalette([c for rgb in palette for c in rgb] + [0] * (256 * 3 - 12))
    frame.putdata(indices)
    for transparent in (None, 1):
        name = "frame-on-canvas%s.gif" % ("-transparent" if transparent is not None else "")
        extra = {} if transparent is None else {"transparency": transparent}
        frame.save(at(name), **extra)
        data = bytearray(open(at(name), "rb").read())
        struct.pack_into("<HH", data, 6, 6, 5)
        data[11] = 2  # background colour
        descriptor = data.index(b",")
        struct.pack_into("<HH", data, descriptor + 1, 1, 1)
        open(at(name), "wb").write(bytes(data))

        def colour(i):
            return palette[i] + ((0,) if i == transparent else (255,))

        canvas = Image.new("RGBA", (6, 5), colour(2 if transparent is None else transparent))
        for k, i in enumerate(indices):
            canvas.putpixel((1 + k % 4, 1 + k // 4), colour(i))
        valid(name, canvas)


# ---- BMP, PNM, ICO, XPM --------------------------------------------------------
def qt_format_files():
    # ImageMagick's default palette BMP is RLE8, rows padded with encoded pixels.
    for width in (61, 62, 63):
        name = "imagemagick-rle8-%d.bmp" % width
        run(CONVERT, "-size", "%dx20" % width, "gradient:red-blue", "-colors", "50", name)
        run(CONVERT, name, "-depth", "8", "RGBA:" + name + ".raw")
        raw = open(at(name + ".raw"), "rb").read()
        valid(name, Image.frombytes("RGBA", (width, 20), raw))

    bits = picture("L").point(lambda v: 255 if v > 100 else 0).convert("1")
    bits.save(at("raw.pbm"))
    out = subprocess.run([tool("pamtopnm"), "-plain", at("raw.pbm")], check=True, capture_output=True).stdout
    open(at("plain-no-separators.pbm"), "wb").write(out)
    valid("plain-no-separators.pbm", bits)

    grey = picture("L")
    text = "P2\n%d %d\n255\n" % (W, H) + "\n".join(" ".join(str(v) for v in grey.tobytes()[y * W:(y + 1) * W])
                                                   for y in range(H))
    open(at("plain-last-number-ends-file.pgm"), "w").write(text)  # no newline after the last number
    valid("plain-last-number-ends-file.pgm", grey)

    rgb = picture("RGB")
    samples = list(rgb.tobytes())
    text = "P3\n%d %d\n255\n" % (W, H) + " ".join(str(v) for v in samples[:90]) + " 1x2 " + " ".join(
        str(v) for v in samples[91:]) + "\n"
    open(at("plain-non-digit.ppm"), "w").write(text)
    broken("plain-non-digit.ppm", "Truncated", "")

    # An icon of two: the first whole, the second's data past the end of the file.
    icon = picture()
    icon.save(at("one.ico"), sizes=[(W, H)])
    data = open(at("one.ico"), "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    entry = bytearray(data[6:22])
    struct.pack_into("<I", entry, 12, len(data) + 1000)
    two = bytearray(data[:4]) + struct.pack("<H", count + 1) + data[6:22] + bytes(entry) + data[22:]
    struct.pack_into("<I", two, 6 + 12, struct.unpack_from("<I", two, 6 + 12)[0] + 16)
    open(at("other-entry-damaged.ico"), "wb").write(bytes(two))
    valid("other-entry-damaged.ico", icon)

    xpm = ('/* XPM */\nstatic char *x[] = {\n"2 1 2 1",\n"a c #ff0000",\n"b c not-a-colour",\n"ab"\n};\n')
    open(at("unknown-colour.xpm"), "w").write(xpm)
    broken("unknown-colour.xpm", "Truncated", "colour")


# ---- TGA, PSD (stb_image) ------------------------------------------------------
def tga(bits, descriptor, pixels, footer):
    head = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, W, H, bits, descriptor)
    tail = (b"\0" * 8 + b"TRUEVISION-XFILE.\0") if footer else b""
    return head + pixels + tail


def stb_format_files():
    # 16 bits, X1R5G5B5 with the X bit clear, top-left origin: opaque, 5 bits widened.
    def five(v):
        return v >> 3

    rgb = picture("RGB")
    data = b"".join(struct.pack("<H", five(r) << 10 | five(g) << 5 | five(b))
                    for (r, g, b) in rgb.getdata())
    widened = Image.new("RGB", (W, H))
    widened.putdata([tuple(five(c) * 255 // 31 for c in p) for p in rgb.getdata()])
    for footer in (False, True):
        name = "rgb16-footer.tga" if footer else "rgb16.tga"
        open(at(name), "wb").write(tga(16, 0x20, data, footer))
        valid(name, widened)
    # Rows stored right to left (descriptor bit 4), top row first.
    mirrored = b"".join(bytes((b, g, r)) for y in range(H) for x in reversed(range(W))
                        for (r, g, b) in [rgb.getpixel((x, y))])
    for footer in (False, True):
        name = "right-to-left-footer.tga" if footer else "right-to-left.tga"
        open(at(name), "wb").write(tga(24, 0x30, mirrored, footer))
        valid(name, rgb)
    # An RGBA composite as ImageMagick writes it: colours under partial alpha
    # stored as they are, never blended with white.
    solid = picture().copy()
    solid.putdata([p if p[3] else p[:3] + (1,) for p in solid.getdata()])
    solid.save(at("semi.png"))
    run(CONVERT, "semi.png", "-depth", "8", "semi.psd")
    valid("semi.psd", solid)


def main():
    os.makedirs(OUT, exist_ok=True)
    png_files()
    jpeg_files()
    tiff_files()
    webp_gif_files()
    qt_format_files()
    stb_format_files()
    with open(at("manifest.tsv"), "w") as f:
        for row in manifest:
            f.write("\t".join(row) + "\n")


main()
