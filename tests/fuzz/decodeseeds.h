#pragma once

// The seed inputs of the frame decoder's fuzz target (decode-corpus/), made
// by the decoder tests' own file makers: small complete files of every
// reader, and files cut or broken where each reader has to notice. Written
// out by make_decode_seeds; tst_fuzz checks that the committed seeds are
// these.

#include "imagecorpus.h"
#include "imagedecodefuzz.h"

#include <QFileInfo>
#include <QList>
#include <QString>

namespace kestrinfuzz {

struct DecodeSeed {
    QString name;     // valid-* must decode, broken-* must be refused
    QByteArray bytes; // as the fuzzer takes them: the name-suffix byte, then the file
    // Every byte comes from the makers here, not from Qt's image writers (whose
    // output follows the versions of the libraries behind them), so the bytes
    // are the same on every machine.
    bool ownBytes = true;
};

/** The first input byte that has exerciseImageDecoder decode the rest under
 *  the suffix of `name`. */
inline char suffixByte(const QString &name)
{
    const QByteArray suffix = QFileInfo(name).suffix().toLatin1();
    for (int i = 0; i < kDecodeHintCount; ++i) {
        if (suffix == kDecodeHints[i])
            return char(i);
    }
    qFatal("no decode hint for the suffix of %s", qPrintable(name));
}

inline QList<DecodeSeed> decodeSeeds()
{
    // 13 x 7 pieces of the test pictures keep the seeds small, so the fuzzer
    // runs fast; the piece of the four-colour picture is the one a band edge
    // crosses halfway down, so it has all four colours and long runs too.
    // The resolution the writers store is set here: a new image takes the
    // screen's, which differs between programs with and without a display.
    auto piece = [](QImage image, int x, int y) {
        image = image.copy(x, y, 13, 7);
        image.setDotsPerMeterX(3780); // 96 dots per inch
        image.setDotsPerMeterY(3780);
        return image;
    };
    const QImage sample = piece(kestrintest::samplePicture(), 0, 0);
    const QImage blocky = piece(kestrintest::blockyPicture(), 2, 3);
    const QList<kestrintest::CorpusFile> complete = kestrintest::completeFiles(sample, blocky);
    const QList<kestrintest::BrokenFile> broken = kestrintest::brokenRleFiles() + kestrintest::overclaimingFiles();
    auto completeFile = [&](const char *name) {
        for (const kestrintest::CorpusFile &file : complete) {
            if (file.name == QLatin1String(name))
                return file.bytes;
        }
        qFatal("the test corpus has no complete file %s", name);
    };
    auto brokenFile = [&](const char *name) {
        for (const kestrintest::BrokenFile &file : broken) {
            if (file.name == QLatin1String(name))
                return file.bytes;
        }
        qFatal("the test corpus has no broken file %s", name);
    };

    QList<DecodeSeed> seeds;
    auto own = [&](const char *name, const QByteArray &file) {
        seeds.append({QString::fromLatin1(name), suffixByte(QString::fromLatin1(name)) + file, true});
    };
    auto qt = [&](const char *name, const QByteArray &file) {
        seeds.append({QString::fromLatin1(name), suffixByte(QString::fromLatin1(name)) + file, false});
    };

    // Qt's ICO writer leaves the padding of each AND-mask row unset: the
    // mask (rows of 4 bytes, 13 bits used) ends the file, and with its
    // padding zeroed the seed comes out the same every time.
    QByteArray ico = completeFile("argb.ico");
    for (qsizetype row = ico.size() - 7 * 4; row < ico.size(); row += 4)
        ico[row + 2] = ico[row + 3] = 0;
    // A mapped RLE TGA without the footer the test corpus gives it: footers
    // have seeds of their own, and without one the data is a TGA by its name
    // alone, and its pixel data runs to the end of the file.
    kestrintest::TgaLayout mappedRle;
    mappedRle.mapped = true;
    mappedRle.rle = true;
    QImage ignored;
    // Quality 80: a smaller file than the corpus's, with other tables.
    const QByteArray jpg = kestrintest::writtenByQt(sample.convertToFormat(QImage::Format_RGB32), "jpg", 80);

    // One complete file of each reader and of the variants that take their own paths.
    qt("valid-argb.ico", ico);
    qt("valid-argb.png", completeFile("argb.png"));
    own("valid-footer24.tga", completeFile("footer24.tga"));
    qt("valid-argb.tif", completeFile("argb.tif"));
    qt("valid-indexed.tif", completeFile("indexed.tif"));
    qt("valid-indexed.xpm", completeFile("indexed.xpm"));
    qt("valid-indexed4.bmp", completeFile("indexed4.bmp"));
    own("valid-letter.gif", completeFile("letter.gif"));
    qt("valid-lossless.webp", completeFile("lossless.webp"));
    own("valid-mapped-rle.tga", kestrintest::tgaOf(blocky, mappedRle, &ignored));
    qt("valid-mono.tif", completeFile("mono.tif"));
    qt("valid-mono.wbmp", completeFile("mono.wbmp"));
    qt("valid-mono.xbm", completeFile("mono.xbm"));
    qt("valid-photo.jpg", jpg);
    own("valid-plain.pbm", completeFile("plain.pbm"));
    own("valid-plain.pgm", completeFile("plain.pgm"));
    own("valid-raw.psd", completeFile("raw.psd"));
    qt("valid-rgb.ppm", completeFile("rgb.ppm"));
    own("valid-rgb16.tga", completeFile("rgb16.tga"));
    qt("valid-rgb24.bmp", completeFile("rgb24.bmp"));
    own("valid-rle-alpha.psd", completeFile("rle.psd"));
    own("valid-rle32-top.tga", completeFile("rle32.tga"));
    own("valid-rle4.bmp", completeFile("rle4.bmp"));
    own("valid-rle8.bmp", completeFile("rle8.bmp"));

    // Complete files cut short (where the cut falls, for the writers of Qt 6.4).
    qt("broken-cut.jpg", jpg.left(500));                             // in the Huffman tables
    qt("broken-cut.png", completeFile("argb.png").left(150));        // in the IDAT chunk
    qt("broken-cut.xbm", completeFile("mono.xbm").left(100));        // in the bits array
    qt("broken-rgb24-cut.bmp", completeFile("rgb24.bmp").left(200)); // in the pixel rows
    own("broken-rle-cut.psd", completeFile("rle.psd").left(150));    // in the PackBits rows
    own("broken-rle-cut.tga", completeFile("rle32.tga").left(120));  // in the RLE packets
    // Qt's TIFF writer puts the colour map (768 16-bit entries) last.
    const QByteArray tif = completeFile("indexed.tif");
    qt("broken-colour-map-cut.tif", tif.left(tif.size() - 100));
    // The last number ends the file, no whitespace after it: netpbm reads it whole.
    const QByteArray pgm = completeFile("plain.pgm");
    own("valid-last-number-ends-the-file.pgm", pgm.trimmed());

    // Headers that claim more than the data holds, and run-length streams
    // that do not set every pixel once.
    own("broken-84-bytes-claiming-64x64.bmp", brokenFile("84-byte BMP claiming 64 x 64"));
    own("broken-footer-claiming-64x64.tga", brokenFile("TGA with footer claiming 64 x 64"));
    own("broken-short-lzw.gif", brokenFile("GIF claiming 64 x 64 with 3 pixels of LZW data"));
    own("broken-rle4-run-past-row.bmp", brokenFile("RLE4 run past the row"));
    own("broken-rle8-delta.bmp", brokenFile("delta skips pixels"));
    own("broken-rle8-early-end.bmp", brokenFile("end of bitmap before the last row"));

    // No reader's signature at all, under a suffix that names none.
    own("broken-not-an-image.dat", QByteArray("just some text\n"));
    return seeds;
}

} // namespace kestrinfuzz
