#pragma once

// Image files of every format the loader reads, made in code: complete ones
// (written with QImageWriter, or byte by byte here for what Qt does not
// write: GIF, TGA, PSD, RLE BMPs, plain-text PNM) and the points at which
// the tests cut them. Shared by the decoder tests, by the program that
// the valgrind run decodes and by the decoder's fuzz seeds
// (tests/fuzz/decodeseeds.h).

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QString>

#include <algorithm>

namespace kestrintest {

/** The pixels of `image` without the colour space its reader tagged it
 *  with: frames are taken as the numbers they hold, never colour-converted,
 *  so the decoder leaves images untagged. */
inline QImage pixelsOf(QImage image)
{
    image.setColorSpace(QColorSpace());
    return image;
}

/** 37 x 23 (odd, unequal sides): gradients, noise and four alpha levels. */
inline QImage samplePicture()
{
    QImage image(37, 23, QImage::Format_ARGB32);
    quint32 seed = 12345;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            const int alpha = (x + 2 * y) % 11 == 0 ? 0 : (x * y) % 7 == 3 ? 128 : (x == 36 ? 64 : 255);
            image.setPixel(x, y, qRgba(x * 7, y * 11, int(seed >> 16) & 0xff, alpha));
        }
    }
    return image;
}

/** 37 x 23 in four colours: bands, a diagonal and scattered single pixels,
 *  so run-length coders meet long runs, short runs and lone values. */
inline QImage blockyPicture()
{
    QImage image(37, 23, QImage::Format_Indexed8);
    image.setColorTable({qRgb(255, 255, 255), qRgb(200, 10, 30), qRgb(20, 90, 250), qRgb(0, 0, 0)});
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            int index = (y / 6) % 3;
            if (x == y + 5)
                index = 3;
            else if ((x * 13 + y * 7) % 17 == 0)
                index = (index + 1) % 4;
            image.setPixel(x, y, uint(index));
        }
    }
    return image;
}

inline QByteArray writtenByQt(const QImage &image, const char *format, int quality = -1, int compression = -1,
                              bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

inline void putLe16(QByteArray &b, quint32 v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}
inline void putLe32(QByteArray &b, quint32 v)
{
    putLe16(b, v & 0xffff);
    putLe16(b, v >> 16);
}
inline void putBe16(QByteArray &b, quint32 v)
{
    b.append(char((v >> 8) & 0xff)).append(char(v & 0xff));
}
inline void putBe32(QByteArray &b, quint32 v)
{
    putBe16(b, v >> 16);
    putBe16(b, v & 0xffff);
}

// ---- BMP with RLE compression ----------------------------------------------

/** A Windows BMP (40-byte header, bottom-up) around a ready RLE stream;
 *  `colors` palette entries from `palette`, the rest black. */
inline QByteArray rleBmpAround(int width, int height, int bits, const QByteArray &stream,
                               const QList<QRgb> &palette, int colors = 16)
{
    QByteArray b("BM");
    const quint32 offset = 14 + 40 + quint32(colors) * 4;
    putLe32(b, offset + quint32(stream.size()));
    putLe32(b, 0);
    putLe32(b, offset);
    putLe32(b, 40);
    putLe32(b, quint32(width));
    putLe32(b, quint32(height));
    putLe16(b, 1);
    putLe16(b, quint32(bits));
    putLe32(b, bits == 8 ? 1 : 2);
    putLe32(b, quint32(stream.size()));
    putLe32(b, 2835);
    putLe32(b, 2835);
    putLe32(b, quint32(colors));
    putLe32(b, 0);
    for (int i = 0; i < colors; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    }
    return b + stream;
}

/** RLE8 or RLE4 encoding of an Indexed8 image (fewer than 16 colours for
 *  RLE4), as Windows writers lay it out: rows bottom up, runs of equal
 *  pixels, literal stretches in absolute mode, end-of-line after each row
 *  and end-of-bitmap at the end. */
inline QByteArray rleBmp(const QImage &indexed, int bits)
{
    QByteArray s;
    const int w = indexed.width();
    for (int y = indexed.height() - 1; y >= 0; --y) {
        const uchar *row = indexed.constScanLine(y);
        int x = 0;
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 2) {
                s.append(char(run)).append(char(bits == 8 ? row[x] : (row[x] << 4 | row[x])));
                x += run;
                continue;
            }
            int literal = 1; // up to the next pair of equal pixels
            while (x + literal < w && literal < 254
                   && !(x + literal + 1 < w && row[x + literal] == row[x + literal + 1]))
                ++literal;
            if (literal < 3) {
                for (int i = 0; i < literal; ++i)
                    s.append('\1').append(char(bits == 8 ? row[x + i] : row[x + i] << 4));
            } else {
                s.append('\0').append(char(literal));
                QByteArray data;
                for (int i = 0; i < literal; ++i) {
                    if (bits == 8)
                        data.append(char(row[x + i]));
                    else if (i % 2 == 0)
                        data.append(char(row[x + i] << 4));
                    else
                        data[data.size() - 1] = char(uchar(data.back()) | row[x + i]);
                }
                if (data.size() % 2)
                    data.append('\0');
                s.append(data);
            }
            x += literal;
        }
        s.append('\0').append('\0');
    }
    s.append('\0').append('\1');
    return rleBmpAround(w, indexed.height(), bits, s, indexed.colorTable(), bits == 8 ? 256 : 16);
}

// ---- GIF -------------------------------------------------------------------

/** LZW codes for `pixels` (values below 4, code size 2) without any
 *  compression: a clear code before every second pixel keeps every code
 *  3 bits wide. */
inline QByteArray gifLzw(const QList<int> &pixels, bool endCode = true)
{
    QList<int> codes;
    for (int i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            codes.append(4);
        codes.append(pixels[i]);
    }
    if (endCode)
        codes.append(5);
    QByteArray out;
    quint32 acc = 0;
    int bits = 0;
    for (int code : codes) {
        acc |= quint32(code) << bits;
        bits += 3;
        while (bits >= 8) {
            out.append(char(acc & 0xff));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out.append(char(acc & 0xff));
    return out;
}

/** A GIF89a of one image: four colours, `lzw` as its data, cut into sub-blocks. */
inline QByteArray gifAround(int width, int height, const QList<QRgb> &palette, const QByteArray &lzw)
{
    QByteArray b("GIF89a");
    putLe16(b, quint32(width));
    putLe16(b, quint32(height));
    b.append(char(0x81)).append('\0').append('\0'); // global colour table of 4 entries
    for (int i = 0; i < 4; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        b.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    b.append(',');
    putLe16(b, 0);
    putLe16(b, 0);
    putLe16(b, quint32(width));
    putLe16(b, quint32(height));
    b.append('\0').append('\2');
    for (qsizetype at = 0; at < lzw.size(); at += 255) {
        const QByteArray block = lzw.mid(at, 255);
        b.append(char(block.size())).append(block);
    }
    b.append('\0').append(';');
    return b;
}

inline QByteArray gifOf(const QImage &indexed)
{
    QList<int> pixels;
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            pixels.append(indexed.pixelIndex(x, y));
    return gifAround(indexed.width(), indexed.height(), indexed.colorTable(), gifLzw(pixels));
}

// ---- TGA -------------------------------------------------------------------

struct TgaLayout {
    int bits = 24;       // 8 (grey, or colour-map indices when mapped), 15, 16, 24, 32
    bool mapped = false; // colour map of 24-bit entries
    bool grey = false;
    bool rle = false;
    bool top = false;    // first row stored is the top one
    bool footer = false; // version-2 footer
    int idLength = 0;
};

/** The TGA encoding of `image` in `layout`; `expected` receives the pixels
 *  the file stands for (what a correct reader gives, alpha included). */
inline QByteArray tgaOf(const QImage &image, const TgaLayout &layout, QImage *expected)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QImage indexed = layout.mapped ? image.convertToFormat(QImage::Format_Indexed8) : QImage();
    const int w = argb.width();
    const int h = argb.height();
    *expected = QImage(w, h, QImage::Format_ARGB32);
    const int bytesPerPixel = layout.mapped ? 1 : (layout.bits + 7) / 8;
    QByteArray pixels;
    for (int row = 0; row < h; ++row) {
        const int y = layout.top ? row : h - 1 - row;
        for (int x = 0; x < w; ++x) {
            const QRgb c = argb.pixel(x, y);
            QRgb shown;
            if (layout.mapped) {
                pixels.append(char(indexed.pixelIndex(x, y)));
                shown = indexed.color(indexed.pixelIndex(x, y)) | 0xff000000u;
            } else if (layout.grey) {
                const int g = qGray(c);
                pixels.append(char(g));
                shown = qRgb(g, g, g);
            } else if (layout.bits <= 16) {
                const int r = qRed(c) >> 3, g = qGreen(c) >> 3, b = qBlue(c) >> 3;
                putLe16(pixels, quint32(0x8000 | r << 10 | g << 5 | b));
                shown = qRgb(r * 255 / 31, g * 255 / 31, b * 255 / 31);
            } else {
                pixels.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
                if (layout.bits == 32)
                    pixels.append(char(qAlpha(c)));
                shown = layout.bits == 32 ? c : (c | 0xff000000u);
            }
            expected->setPixel(x, y, shown);
        }
    }
    QByteArray data;
    if (!layout.rle) {
        data = pixels;
    } else { // packets may run on from one row into the next
        const int count = w * h;
        auto at = [&](int i) { return pixels.mid(qsizetype(i) * bytesPerPixel, bytesPerPixel); };
        int i = 0;
        while (i < count) {
            int run = 1;
            while (i + run < count && run < 128 && at(i + run) == at(i))
                ++run;
            if (run >= 2) {
                data.append(char(0x80 | (run - 1))).append(at(i));
                i += run;
                continue;
            }
            int raw = 1;
            while (i + raw < count && raw < 128 && !(i + raw + 1 < count && at(i + raw) == at(i + raw + 1)))
                ++raw;
            data.append(char(raw - 1));
            for (int k = 0; k < raw; ++k)
                data.append(at(i + k));
            i += raw;
        }
    }
    QByteArray b;
    b.append(char(layout.idLength));
    b.append(char(layout.mapped ? 1 : 0));
    b.append(char((layout.mapped ? 1 : layout.grey ? 3 : 2) + (layout.rle ? 8 : 0)));
    putLe16(b, 0);
    putLe16(b, layout.mapped ? quint32(indexed.colorCount()) : 0);
    b.append(char(layout.mapped ? 24 : 0));
    putLe16(b, 0);
    putLe16(b, 0);
    putLe16(b, quint32(w));
    putLe16(b, quint32(h));
    b.append(char(layout.mapped ? 8 : layout.bits));
    b.append(char((layout.top ? 0x20 : 0) | (layout.bits == 32 ? 8 : layout.bits == 16 ? 1 : 0)));
    for (int i = 0; i < layout.idLength; ++i)
        b.append(char('a' + i % 26));
    if (layout.mapped) {
        for (QRgb c : indexed.colorTable())
            b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
    }
    b.append(data);
    if (layout.footer) {
        putLe32(b, 0);
        putLe32(b, 0);
        b.append("TRUEVISION-XFILE.");
        b.append('\0');
    }
    return b;
}

// ---- PSD -------------------------------------------------------------------

/** PackBits, as PSD rows use it. */
inline QByteArray packBits(const QByteArray &row)
{
    QByteArray out;
    qsizetype i = 0;
    while (i < row.size()) {
        qsizetype run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i])
            ++run;
        if (run >= 2) {
            out.append(char(257 - run)).append(row[i]);
            i += run;
            continue;
        }
        qsizetype raw = 1;
        while (i + raw < row.size() && raw < 128 && !(i + raw + 1 < row.size() && row[i + raw] == row[i + raw + 1]))
            ++raw;
        out.append(char(raw - 1)).append(row.mid(i, raw));
        i += raw;
    }
    return out;
}

/** An 8-bit RGB PSD holding only the flattened composite of `image`, with
 *  or without its alpha channel, raw or RLE. Alpha is kept to 0 and 255
 *  (in-between values are stored matted, which readers undo with rounding).
 *  `expected` receives the pixels the file stands for. */
inline QByteArray psdOf(const QImage &image, bool alpha, bool rle, QImage *expected)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    const int channels = alpha ? 4 : 3;
    *expected = QImage(w, h, QImage::Format_ARGB32);
    QList<QByteArray> planes(channels);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb c = argb.pixel(x, y);
            const int a = alpha ? (qAlpha(c) < 128 ? 0 : 255) : 255;
            const int v[4] = {qRed(c), qGreen(c), qBlue(c), a};
            for (int k = 0; k < channels; ++k)
                planes[k].append(char(v[k]));
            expected->setPixel(x, y, qRgba(v[0], v[1], v[2], a));
        }
    }
    QByteArray b("8BPS");
    putBe16(b, 1);
    b.append(QByteArray(6, '\0'));
    putBe16(b, quint32(channels));
    putBe32(b, quint32(h));
    putBe32(b, quint32(w));
    putBe16(b, 8);
    putBe16(b, 3);
    putBe32(b, 0); // colour mode data
    putBe32(b, 0); // image resources
    putBe32(b, 0); // layers and masks
    putBe16(b, rle ? 1 : 0);
    if (!rle) {
        for (const QByteArray &plane : planes)
            b.append(plane);
        return b;
    }
    QByteArray counts;
    QByteArray rows;
    for (const QByteArray &plane : planes) {
        for (int y = 0; y < h; ++y) {
            const QByteArray packed = packBits(plane.mid(qsizetype(y) * w, w));
            putBe16(counts, quint32(packed.size()));
            rows.append(packed);
        }
    }
    return b + counts + rows;
}

// ---- plain-text PNM ------------------------------------------------------------

/** P1 (bitmap), P2 (grey) or P3 (colour) text of `image`. */
inline QByteArray plainPnm(const QImage &image, char kind)
{
    QByteArray b = QByteArray("P") + kind + "\n# made by the test\n" + QByteArray::number(image.width()) + ' '
        + QByteArray::number(image.height()) + '\n';
    if (kind != '1')
        b += "255\n";
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (kind == '1')
                b += qGray(c) < 128 ? "1 " : "0 ";
            else if (kind == '2')
                b += QByteArray::number(qGray(c)) + ' ';
            else
                b += QByteArray::number(qRed(c)) + ' ' + QByteArray::number(qGreen(c)) + ' '
                    + QByteArray::number(qBlue(c)) + ' ';
        }
        b += '\n';
    }
    return b;
}

// ---- the corpus ------------------------------------------------------------

struct CorpusFile {
    QString name;     // its suffix is the format hint, as for a file on disk
    QByteArray bytes;
    QImage exact = {}; // the pixels stored, where Qt's reader alters them; else null

    QByteArray hint() const { return QFileInfo(name).suffix().toLatin1(); }
};

/** One complete file of each format and variant the loader reads, drawn
 *  from `sample` (any picture, alpha included) and `blocky` (an Indexed8
 *  picture of four colours, for the run-length and palette formats). */
inline QList<CorpusFile> completeFiles(const QImage &sample, const QImage &blocky)
{
    const QImage opaque = sample.convertToFormat(QImage::Format_RGB32);
    const QImage indexed = sample.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const QImage mono = sample.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage scratch;
    QList<CorpusFile> files = {
        {QStringLiteral("rgb24.bmp"), writtenByQt(opaque, "bmp")},
        {QStringLiteral("indexed8.bmp"), writtenByQt(indexed, "bmp")},
        {QStringLiteral("indexed4.bmp"), writtenByQt(blocky, "bmp")},
        {QStringLiteral("mono.bmp"), writtenByQt(mono, "bmp")},
        {QStringLiteral("rle8.bmp"), rleBmp(blocky, 8)},
        {QStringLiteral("rle4.bmp"), rleBmp(blocky, 4)},
        {QStringLiteral("argb.png"), writtenByQt(sample, "png")},
        {QStringLiteral("indexed.png"), writtenByQt(indexed, "png")},
        {QStringLiteral("photo.jpg"), writtenByQt(opaque, "jpg", 90)},
        {QStringLiteral("progressive.jpg"), writtenByQt(opaque, "jpg", 75, -1, true)},
        {QStringLiteral("letter.gif"), gifOf(blocky)},
        // Unassociated alpha: Qt's reader premultiplies and divides back,
        // losing the colour under low alpha.
        {QStringLiteral("argb.tif"), writtenByQt(sample, "tif"), sample.convertToFormat(QImage::Format_ARGB32)},
        {QStringLiteral("indexed.tif"), writtenByQt(indexed, "tif")},
        {QStringLiteral("mono.tif"), writtenByQt(mono, "tif")},
        {QStringLiteral("lzw.tif"), writtenByQt(sample, "tif", -1, 1), sample.convertToFormat(QImage::Format_ARGB32)},
        {QStringLiteral("lossy.webp"), writtenByQt(sample, "webp", 80)},
        {QStringLiteral("lossless.webp"), writtenByQt(sample, "webp", 100)},
        {QStringLiteral("indexed.xpm"), writtenByQt(indexed, "xpm")},
        {QStringLiteral("mono.xbm"), writtenByQt(mono, "xbm")},
        {QStringLiteral("rgb.ppm"), writtenByQt(opaque, "ppm")},
        {QStringLiteral("grey.pgm"), writtenByQt(opaque, "pgm")},
        {QStringLiteral("mono.pbm"), writtenByQt(mono, "pbm")},
        {QStringLiteral("plain.ppm"), plainPnm(opaque, '3')},
        {QStringLiteral("plain.pgm"), plainPnm(opaque, '2')},
        {QStringLiteral("plain.pbm"), plainPnm(mono, '1')},
        {QStringLiteral("argb.ico"), writtenByQt(sample, "ico")},
        {QStringLiteral("indexed.cur"), writtenByQt(indexed, "cur")},
        {QStringLiteral("mono.wbmp"), writtenByQt(mono, "wbmp")},
    };
    TgaLayout qtTga; // the only kind Qt's own reader takes
    qtTga.footer = true;
    files.append({QStringLiteral("footer24.tga"), tgaOf(opaque, qtTga, &scratch)});
    TgaLayout rle32;
    rle32.bits = 32;
    rle32.rle = true;
    rle32.top = true;
    files.append({QStringLiteral("rle32.tga"), tgaOf(sample, rle32, &scratch)});
    TgaLayout mapped;
    mapped.mapped = true;
    mapped.rle = true;
    mapped.footer = true;
    files.append({QStringLiteral("mapped.tga"), tgaOf(blocky, mapped, &scratch)});
    TgaLayout rgb16;
    rgb16.bits = 16;
    files.append({QStringLiteral("rgb16.tga"), tgaOf(opaque, rgb16, &scratch)});
    files.append({QStringLiteral("raw.psd"), psdOf(opaque, false, false, &scratch)});
    files.append({QStringLiteral("rle.psd"), psdOf(sample, true, true, &scratch)});
    return files;
}

inline QList<CorpusFile> completeFiles()
{
    return completeFiles(samplePicture(), blockyPicture());
}

/** A file that does not define all its pixels, and words its refusal must hold. */
struct BrokenFile {
    QString name;
    QByteArray hint;
    QByteArray bytes;
    QString says;
};

inline QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

/** RLE BMPs of 4 x 2 pixels whose streams stop early, skip pixels or run
 *  past a row or the image (rows bottom up; 0 0 ends a line, 0 1 the bitmap). */
inline QList<BrokenFile> brokenRleFiles()
{
    struct Stream {
        const char *name;
        int bits;
        QByteArray data;
        const char *says;
    };
    const QList<Stream> streams = {
        {"end of bitmap before the last row", 8, bytesOf({4, 1, 0, 0, 0, 1}), "end-of-bitmap"},
        {"data ends inside the last row", 8, bytesOf({4, 1, 0, 0, 2, 2}), "data ends"},
        {"data ends inside an absolute run", 8, bytesOf({4, 1, 0, 0, 0, 4, 1, 2}), "data ends"},
        {"run past the row", 8, bytesOf({5, 1, 0, 0, 4, 2, 0, 1}), "passes the end of the row"},
        {"run past the image", 8, bytesOf({4, 1, 0, 0, 6, 2, 0, 1}), "passes the end of the row"},
        {"absolute run past the row", 8, bytesOf({0, 5, 1, 2, 3, 1, 2, 0, 0, 0, 4, 2}), "passes the end of the row"},
        {"end of line leaves the row short", 8, bytesOf({2, 1, 0, 0, 4, 2, 0, 0}), "end-of-line"},
        {"delta skips pixels", 8, bytesOf({2, 1, 0, 2, 1, 0, 4, 2}), "delta"},
        {"RLE4 end of bitmap early", 4, bytesOf({4, 0x11, 0, 1}), "end-of-bitmap"},
        {"RLE4 run past the row", 4, bytesOf({6, 0x12, 0, 0, 4, 0x22}), "passes the end"},
        {"RLE4 data ends", 4, bytesOf({4, 0x11, 0, 0, 0, 4, 0x12}), "data ends"},
    };
    QList<BrokenFile> files;
    for (const Stream &s : streams)
        files.append({QString::fromLatin1(s.name), "bmp",
                      rleBmpAround(4, 2, s.bits, s.data, {qRgb(9, 9, 9), qRgb(200, 0, 0)}), QString::fromLatin1(s.says)});
    return files;
}

/** Headers that claim more pixels than their data holds. */
inline QList<BrokenFile> overclaimingFiles()
{
    auto bmp = [](int width, int height, int bits, int size) {
        QByteArray b("BM");
        putLe32(b, quint32(size));
        putLe32(b, 0);
        putLe32(b, 54);
        for (quint32 v : {40u, quint32(width), quint32(height)})
            putLe32(b, v);
        putLe16(b, 1);
        putLe16(b, quint32(bits));
        b.append(QByteArray(24, '\0'));
        return b + QByteArray(size - 54, '\x5a');
    };
    QByteArray tga = bytesOf({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 24, 0}) + QByteArray(10, '\x10');
    putLe32(tga, 0);
    putLe32(tga, 0);
    tga.append("TRUEVISION-XFILE.", 18);
    QImage ignored;
    QByteArray psd = psdOf(samplePicture(), false, false, &ignored);
    psd[19] = 0x10; // width 37 becomes 1,048,613
    return {
        {QStringLiteral("84-byte BMP claiming 64 x 64"), "bmp", bmp(64, 64, 32, 84), QStringLiteral("BMP pixel data")},
        {QStringLiteral("154-byte BMP claiming 5000 x 5000"), "bmp", bmp(5000, 5000, 24, 154),
         QStringLiteral("BMP pixel data")},
        {QStringLiteral("GIF claiming 64 x 64 with 3 pixels of LZW data"), "gif",
         gifAround(64, 64, {qRgb(1, 2, 3)}, gifLzw({1, 2, 3})), QStringLiteral("first frame stops")},
        {QStringLiteral("TGA with footer claiming 64 x 64"), "tga", tga, QStringLiteral("TGA pixel data")},
        {QStringLiteral("PSD claiming a million columns"), "psd", psd, QStringLiteral("PSD composite")},
    };
}

/** Where the tests cut a file of `size` bytes: inside the headers, at
 *  fractions of the data and just before the end. */
inline QList<qsizetype> cutPoints(qsizetype size)
{
    QList<qsizetype> points;
    for (qsizetype p : {qsizetype(1), qsizetype(8), qsizetype(17), qsizetype(30), qsizetype(60), size / 4, size / 2,
                        size * 3 / 4, size - 40, size - 13, size - 2, size - 1}) {
        if (p > 0 && p < size && !points.contains(p))
            points.append(p);
    }
    std::sort(points.begin(), points.end());
    return points;
}

} // namespace kestrintest
