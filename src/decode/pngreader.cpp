#include "decode/pngreader.h"

#include "decode/formatreaders.h"

#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
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
    // Deflate with a window no back-reference can reach past: 32 KiB, or a
    // smaller one (writers declare one for small images) when the whole
    // image is no larger. libpng's zlib then accepts exactly what this
    // inflater accepts (zlib refuses a distance beyond the declared window;
    // libdeflate does not look at the window).
    if (png.dataBytes < 2 || (stream[0] & 0x0f) != 8 || (stream[0] >> 4) > 7)
        return false;
    const size_t window = size_t(1) << ((stream[0] >> 4) + 8);
    if (window < 32768 && rawBytes > window)
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

Image decodePlain(const PlainPng &png)
{
    const size_t pixel = size_t(png.channels);
    const size_t rowBytes = size_t(png.width) * pixel;
    const size_t rawBytes = (rowBytes + 1) * png.height;
    const std::unique_ptr<uchar[]> raw(new (std::nothrow) uchar[rawBytes]);
    if (!raw || !inflateAll(png, raw.get(), rawBytes))
        return Image();
    Image image(int(png.width), int(png.height), Image::Format_ARGB32);
    if (image.isNull())
        return Image();
    const std::vector<uchar> zeros(rowBytes, 0);
    const uchar *above = zeros.data();
    for (quint32 y = 0; y < png.height; ++y) {
        uchar *row = raw.get() + size_t(y) * (rowBytes + 1) + 1;
        if (!unfilterRow(row[-1], row, above, rowBytes, pixel))
            return Image();
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

} // namespace

Image decodePlainPng(const QByteArray &bytes)
{
    PlainPng png;
    return readChunks(bytes, png) ? decodePlain(png) : Image();
}

// ---- libpng ------------------------------------------------------------

namespace {

/** What a libpng decode has read and said. Plain data only: libpng leaves
 *  its functions through longjmp, which must skip no destructor. */
struct PngRun {
    const uchar *data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool ranOut = false;    // the data ended where libpng wanted more
    bool inRows = false;    // the header is read; libpng is decoding pixels
    bool damaged = false;   // libpng warned about damaged or missing data
    char message[256] = {}; // the first error or damaging warning
    char notice[256] = {};  // the first harmless warning
};

void remember(char (&to)[256], const char *text)
{
    if (to[0] == '\0')
        std::snprintf(to, sizeof to, "%s", text ? text : "");
}

void pngRead(png_structp png, png_bytep out, size_t length)
{
    auto *run = static_cast<PngRun *>(png_get_io_ptr(png));
    if (run->size - run->pos < length) {
        run->ranOut = true;
        png_error(png, "the data ends early");
    }
    std::memcpy(out, run->data + run->pos, length);
    run->pos += length;
}

void pngError(png_structp png, png_const_charp text)
{
    auto *run = static_cast<PngRun *>(png_get_error_ptr(png));
    remember(run->message, text);
    png_longjmp(png, 1);
}

/** Warnings about colour management leave the pixels as they are (they are
 *  not converted); every other warning says data was lost or made up. */
bool harmless(const char *text)
{
    if (std::strstr(text, "CRC"))
        return false;
    for (const char *chunk : {"iCCP", "sRGB", "cHRM", "gAMA"}) {
        if (std::strncmp(text, chunk, 4) == 0)
            return true;
    }
    return std::strstr(text, "profile") != nullptr;
}

void pngWarning(png_structp png, png_const_charp text)
{
    auto *run = static_cast<PngRun *>(png_get_error_ptr(png));
    if (harmless(text)) {
        remember(run->notice, text);
        return;
    }
    run->damaged = true;
    remember(run->message, text);
}

/** Reads the header and sets the transformations that give 8-bit B, G, R, A
 *  bytes (A, R, G, B on big-endian machines): the layout of ARGB32. The
 *  transformations are those Qt's reader applies, so pixels agree with it. */
bool pngHeader(png_structp png, png_infop info, png_uint_32 *width, png_uint_32 *height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    png_set_expand(png); // palette to RGB, grey under 8 bits to 8 bits, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
#else
    png_set_swap_alpha(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_BEFORE);
#endif
    (void)png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return png_get_rowbytes(png, info) == size_t(*width) * 4;
}

/** Decodes every row, then reads to IEND so that the checksums after the
 *  last row (the zlib stream's, the last chunk's CRC) are checked too. */
bool pngRows(png_structp png, png_infop info, png_bytepp rows, PngRun &run)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    run.inRows = true;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

QString libpngSays(const PngRun &run)
{
    return QStringLiteral("libpng: ") + QString::fromLatin1(run.message);
}

DecodeResult pngFailure(const PngRun &run)
{
    if (run.ranOut)
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the PNG data ends at byte %1 (%2)").arg(run.size).arg(libpngSays(run)));
    if (run.inRows || run.damaged)
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the PNG image data is damaged (%1)").arg(libpngSays(run)));
    return decodeFailure(DecodeFailure::NotAnImage, libpngSays(run));
}

} // namespace

bool looksLikePng(const QByteArray &bytes)
{
    return bytes.startsWith("\x89PNG\r\n\x1a\n");
}

DecodeResult decodePng(const QByteArray &bytes, const DecodeLimits &limits)
{
    DecodeResult result;
    // The plain kinds most frames are: one inflate over the whole stream.
    // Whatever that path does not take, libpng decides.
    Image image;
    PlainPng plain;
    if (readChunks(bytes, plain)) {
        if (exceedsLimits(plain.width, plain.height, limits, result))
            return result;
        image = decodePlain(plain);
    }
    if (!image.isNull()) {
        result.image = image;
        result.decoder = "png";
        return result;
    }
    PngRun run;
    run.data = reinterpret_cast<const uchar *>(bytes.constData());
    run.size = size_t(bytes.size());
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &run, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const auto destroy = [&] { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); };
    if (!info) {
        destroy();
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for libpng"));
    }
    png_set_read_fn(png, &run, pngRead);
    png_uint_32 width = 0, height = 0;
    if (!pngHeader(png, info, &width, &height)) {
        destroy();
        if (run.message[0] == '\0')
            remember(run.message, "a pixel layout this reader does not take");
        return pngFailure(run);
    }
    if (exceedsLimits(width, height, limits, result)) {
        destroy();
        return result;
    }
    image = Image(int(width), int(height), Image::Format_ARGB32);
    if (image.isNull()) {
        destroy();
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    }
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = image.scanLine(int(y));
    const bool whole = pngRows(png, info, rows.data(), run);
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    const bool density = whole && png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER;
    destroy();
    if (!whole || run.damaged)
        return pngFailure(run);
    if (density) {
        image.setDotsPerMeterX(int(resX));
        image.setDotsPerMeterY(int(resY));
    }
    result.image = image;
    result.decoder = "png";
    if (run.notice[0] != '\0')
        result.notices << QStringLiteral("libpng: ") + QString::fromLatin1(run.notice);
    return result;
}

} // namespace kestrin
