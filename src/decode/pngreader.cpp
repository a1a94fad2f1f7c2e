#include "decode/pngreader.h"

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace kestrin {

namespace {

constexpr quint32 kMaxSide = 1000000; // libpng's default limit on width and height

quint32 be32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

/** What the chunks of a plain PNG say. */
struct PlainPng {
    quint32 width = 0;
    quint32 height = 0;
    int channels = 0;        // 3 (RGB) or 4 (RGBA), one byte each
    bool hasDensity = false; // a pHYs chunk in pixels per metre
    quint32 densityX = 0;
    quint32 densityY = 0;
    std::vector<std::pair<const uchar *, size_t>> data; // the IDAT chunks' contents, in order
    size_t dataBytes = 0;
};

bool readHeader(const uchar *body, PlainPng &png)
{
    png.width = be32(body);
    png.height = be32(body + 4);
    const int depth = body[8], colour = body[9], compression = body[10], filter = body[11], interlace = body[12];
    png.channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
    return png.width >= 1 && png.width <= kMaxSide && png.height >= 1 && png.height <= kMaxSide && depth == 8
        && png.channels != 0 && compression == 0 && filter == 0 && interlace == 0;
}

/** Walks the chunks; false as soon as one is not what a plain PNG holds. */
bool readChunks(const QByteArray &bytes, PlainPng &png)
{
    const auto *d = reinterpret_cast<const uchar *>(bytes.constData());
    const size_t n = size_t(bytes.size());
    if (n < 8 || std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) != 0)
        return false;
    enum { Header, BeforeData, InData } state = Header;
    size_t pos = 8;
    for (;;) {
        if (n - pos < 12)
            return false;
        const quint32 length = be32(d + pos);
        if (length > 0x7fffffffu || n - pos - 12 < length)
            return false;
        const uchar *type = d + pos + 4;
        const uchar *body = type + 4;
        if (libdeflate_crc32(0, type, size_t(length) + 4) != be32(body + length))
            return false;
        auto is = [type](const char *name) { return std::memcmp(type, name, 4) == 0; };
        if (state == Header) {
            if (!is("IHDR") || length != 13 || !readHeader(body, png))
                return false;
            state = BeforeData;
        } else if (is("IDAT")) {
            png.data.emplace_back(body, length);
            png.dataBytes += length;
            state = InData;
        } else if (state == InData) {
            return is("IEND") && length == 0; // nothing may follow the data but the end
        } else if (is("pHYs") && length == 9 && !png.hasDensity) {
            png.hasDensity = body[8] == 1; // unit: the metre; otherwise only an aspect ratio
            png.densityX = be32(body);
            png.densityY = be32(body + 4);
            if (!png.hasDensity)
                return false; // rare enough to leave to Qt's reader
        } else {
            return false;
        }
        pos += 12 + length;
    }
}

/** Undoes the filter of one row of `bytes` bytes in place; `above` is the
 *  row before it, already unfiltered (zeros for the first row). */
bool unfilterRow(int filter, uchar *row, const uchar *above, size_t bytes, size_t pixel)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (size_t i = pixel; i < bytes; ++i)
            row[i] = uchar(row[i] + row[i - pixel]);
        return true;
    case 2:
        for (size_t i = 0; i < bytes; ++i)
            row[i] = uchar(row[i] + above[i]);
        return true;
    case 3:
        for (size_t i = 0; i < pixel; ++i)
            row[i] = uchar(row[i] + (above[i] >> 1));
        for (size_t i = pixel; i < bytes; ++i)
            row[i] = uchar(row[i] + ((row[i - pixel] + above[i]) >> 1));
        return true;
    case 4:
        for (size_t i = 0; i < pixel; ++i)
            row[i] = uchar(row[i] + above[i]); // left and upper left are 0: the predictor is the byte above
        for (size_t i = pixel; i < bytes; ++i) {
            const int a = row[i - pixel], b = above[i], c = above[i - pixel];
            const int p = a + b - c;
            const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            row[i] = uchar(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        return true;
    default:
        return false; // libpng refuses other filter types
    }
}

/** The zlib stream inflated into `raw` (exactly `rawBytes` long). */
bool inflateAll(const PlainPng &png, uchar *raw, size_t rawBytes)
{
    std::unique_ptr<uchar[]> joined;
    const uchar *stream = png.data.empty() ? nullptr : png.data.front().first;
    if (png.data.size() > 1) {
        joined.reset(new (std::nothrow) uchar[png.dataBytes]);
        if (!joined)
            return false;
        size_t at = 0;
        for (const auto &part : png.data) {
            std::memcpy(joined.get() + at, part.first, part.second);
            at += part.second;
        }
        stream = joined.get();
    }
    // Deflate with a 32 KiB window, as libpng's zlib then accepts exactly
    // what this inflater accepts.
    if (png.dataBytes < 2 || stream[0] != 0x78)
        return false;
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater)
        return false;
    size_t usedIn = 0, madeOut = 0;
    const libdeflate_result result
        = libdeflate_zlib_decompress_ex(inflater.get(), stream, png.dataBytes, raw, rawBytes, &usedIn, &madeOut);
    return result == LIBDEFLATE_SUCCESS && usedIn == png.dataBytes && madeOut == rawBytes;
}

} // namespace

QImage decodePlainPng(const QByteArray &bytes)
{
    PlainPng png;
    if (!readChunks(bytes, png))
        return QImage();
    const size_t pixel = size_t(png.channels);
    const size_t rowBytes = size_t(png.width) * pixel;
    const size_t rawBytes = (rowBytes + 1) * png.height;
    const std::unique_ptr<uchar[]> raw(new (std::nothrow) uchar[rawBytes]);
    if (!raw || !inflateAll(png, raw.get(), rawBytes))
        return QImage();
    QImage image(int(png.width), int(png.height), QImage::Format_ARGB32);
    if (image.isNull())
        return QImage();
    const std::vector<uchar> zeros(rowBytes, 0);
    const uchar *above = zeros.data();
    for (quint32 y = 0; y < png.height; ++y) {
        uchar *row = raw.get() + size_t(y) * (rowBytes + 1) + 1;
        if (!unfilterRow(row[-1], row, above, rowBytes, pixel))
            return QImage();
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        if (png.channels == 4) {
            for (quint32 x = 0; x < png.width; ++x, row += 4)
                out[x] = qRgba(row[0], row[1], row[2], row[3]);
        } else {
            for (quint32 x = 0; x < png.width; ++x, row += 3)
                out[x] = qRgb(row[0], row[1], row[2]);
        }
        above = raw.get() + size_t(y) * (rowBytes + 1) + 1;
    }
    if (png.hasDensity) {
        // As Qt's reader sets them.
        image.setDotsPerMeterX(int(png.densityX));
        image.setDotsPerMeterY(int(png.densityY));
    }
    return image;
}

} // namespace kestrin
