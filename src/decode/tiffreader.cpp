// TIFF through libtiff: the library decides, with error and warning handlers
// of each handle's own (never the process-wide ones, which print to standard
// error). 8- and 16-bit RGB and grey images and 8-bit palette ones, with or without alpha, in
// strips or tiles, either planar layout, are decoded from their samples here, so that
// unassociated alpha and the colour under it stay exactly as stored; every
// other kind goes through libtiff's RGBA conversion.
#include "decode/formatlibraries.h"
#include "decode/formatreaders.h"

#include <QImage>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace kestrin {

namespace {

/** libtiff's functions; only called once an entry point has made sure the
 *  library is there. */
const TiffLibrary &tiff()
{
    return *tiffLibrary();
}

/** The bytes libtiff reads (a buffer, or a descriptor read with pread), and
 *  what it said while reading them. */
struct TiffRun {
    const uchar *data = nullptr;
    int fd = -1;
    quint64 size = 0;
    quint64 pos = 0;
    bool ranOut = false;      // libtiff asked for bytes past the end
    bool inPixels = false;    // the directory is read; libtiff is decoding pixels
    bool damaged = false;     // an error, or a warning about the pixel data
    bool unsupported = false; // a Predictor on data libtiff does not predict
    QString message;          // the first error or damaging warning
    QStringList notices;      // warnings that leave the pixels as stored
};

tmsize_t tiffRead(thandle_t handle, void *out, tmsize_t count)
{
    auto *run = static_cast<TiffRun *>(handle);
    if (count < 0)
        return -1;
    const quint64 wanted = quint64(count);
    const quint64 left = run->pos < run->size ? run->size - run->pos : 0;
    const quint64 n = std::min(wanted, left);
    if (n < wanted)
        run->ranOut = true;
#ifdef Q_OS_UNIX
    if (run->fd >= 0) {
        quint64 done = 0;
        while (done < n) {
            const ssize_t got
                = ::pread(run->fd, static_cast<char *>(out) + done, size_t(n - done), off_t(run->pos + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += quint64(got);
        }
        run->pos += done;
        return tmsize_t(done);
    }
#endif
    if (n > 0)
        std::memcpy(out, run->data + run->pos, size_t(n));
    run->pos += n;
    return tmsize_t(n);
}

tmsize_t tiffWrite(thandle_t, void *, tmsize_t)
{
    return -1;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto *run = static_cast<TiffRun *>(handle);
    quint64 base = 0;
    if (whence == SEEK_CUR)
        base = run->pos;
    else if (whence == SEEK_END)
        base = run->size;
    run->pos = base + offset; // reads past the end give nothing
    return run->pos;
}

int tiffClose(thandle_t)
{
    return 0;
}

toff_t tiffSize(thandle_t handle)
{
    return static_cast<TiffRun *>(handle)->size;
}

QString formatted(const char *module, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const QString message = QString::fromLatin1(text);
    return module && *module ? QString::fromLatin1(module) + QStringLiteral(": ") + message : message;
}

int tiffError(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    auto *run = static_cast<TiffRun *>(user);
    run->damaged = true;
    if (run->message.isEmpty())
        run->message = formatted(module, format, args);
    return 1; // handled: the process-wide handler (standard error) is not called
}

/** Tags libtiff does not know leave the pixels alone; any other warning is
 *  about the data (byte counts, strips, tiles, codes) and refuses the file. */
int tiffWarning(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    auto *run = static_cast<TiffRun *>(user);
    const QString message = formatted(module, format, args);
    // Tag 317 is the Predictor: where libtiff does not know it (no
    // compression, PackBits), the rows are differences it would not undo.
    if (message.contains(QLatin1String("nknown field with tag 317 "))) {
        run->unsupported = true;
        if (run->message.isEmpty())
            run->message = message;
        return 1;
    }
    if (!run->inPixels && message.contains(QLatin1String("nknown field"))) {
        run->notices << message;
        return 1;
    }
    run->damaged = true;
    if (run->message.isEmpty())
        run->message = message;
    return 1;
}

/** A libtiff handle over `run`, with the handlers above. */
struct TiffHandle {
    TIFF *tif = nullptr;
    explicit TiffHandle(TiffRun &run)
    {
        const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> options(tiff().TIFFOpenOptionsAlloc(),
                                                                                    tiff().TIFFOpenOptionsFree);
        if (!options)
            return;
        tiff().TIFFOpenOptionsSetErrorHandlerExtR(options.get(), tiffError, &run);
        tiff().TIFFOpenOptionsSetWarningHandlerExtR(options.get(), tiffWarning, &run);
        // "m": no memory mapping, every byte comes through tiffRead.
        tif = tiff().TIFFClientOpenExt("frame", "rm", &run, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, nullptr,
                                       nullptr, options.get());
    }
    ~TiffHandle()
    {
        if (tif)
            tiff().TIFFClose(tif);
    }
    TiffHandle(const TiffHandle &) = delete;
    TiffHandle &operator=(const TiffHandle &) = delete;
};

/** What the first directory says about the pixels. */
struct TiffLayout {
    quint32 width = 0;
    quint32 height = 0;
    quint16 bits = 1;
    quint16 samples = 1;
    quint16 photometric = 0;
    quint16 planar = PLANARCONFIG_CONTIG;
    quint16 format = SAMPLEFORMAT_UINT;
    quint16 orientation = ORIENTATION_TOPLEFT;
    quint16 compression = COMPRESSION_NONE;
    quint16 predictor = PREDICTOR_NONE;
    quint16 alpha = 0; // 0: none, else EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA
};

TiffLayout layoutOf(TIFF *tif)
{
    TiffLayout l;
    tiff().TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    tiff().TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.format);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &l.orientation);
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
    if (!tiff().TIFFGetField(tif, TIFFTAG_PREDICTOR, &l.predictor))
        l.predictor = PREDICTOR_NONE;
    if (!tiff().TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric))
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    quint16 extraCount = 0;
    quint16 *extra = nullptr;
    if (tiff().TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0)
        // Unspecified extra samples count as associated alpha, as libtiff's own conversion takes them.
        l.alpha = extra[0] == EXTRASAMPLE_UNASSALPHA ? EXTRASAMPLE_UNASSALPHA : EXTRASAMPLE_ASSOCALPHA;
    return l;
}

/** True for the kinds decoded from their samples here. */
bool readsSamples(const TiffLayout &l)
{
    const int colours = l.photometric == PHOTOMETRIC_RGB                                     ? 3
        : l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE ? 1
                                                                                             : 0;
    const bool depth = l.bits == 8 || (l.bits == 16 && l.photometric != PHOTOMETRIC_PALETTE);
    return depth && l.format == SAMPLEFORMAT_UINT && l.orientation == ORIENTATION_TOPLEFT && colours > 0
        && l.samples == colours + (l.alpha ? 1 : 0) && l.compression != COMPRESSION_OJPEG;
}

/** Copies the blocks (strips or tiles) of one plane into `samples`, the whole
 *  image with `stride` bytes a pixel, from byte `first` on; a plane holds
 *  `per` bytes a pixel. False when a block is short
 *  or libtiff refuses it. */
bool readPlane(TIFF *tif, const TiffLayout &l, int plane, int per, int first, int stride, std::vector<uchar> &samples)
{
    const bool tiled = tiff().TIFFIsTiled(tif);
    quint32 blockWidth = l.width, blockHeight = 0;
    if (tiled) {
        tiff().TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockWidth);
        tiff().TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockHeight);
    } else {
        tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockHeight);
        blockHeight = std::min(blockHeight, l.height);
    }
    if (blockWidth == 0 || blockHeight == 0)
        return false;
    const tmsize_t blockBytes = tiled ? tiff().TIFFTileSize(tif) : tiff().TIFFStripSize(tif);
    const quint64 needed = quint64(blockWidth) * blockHeight * quint64(per);
    if (blockBytes <= 0 || quint64(blockBytes) < needed)
        return false;
    std::vector<uchar> block(static_cast<size_t>(blockBytes));
    for (quint32 y0 = 0; y0 < l.height; y0 += blockHeight) {
        for (quint32 x0 = 0; x0 < l.width; x0 += blockWidth) {
            const quint32 rows = std::min(blockHeight, l.height - y0), columns = std::min(blockWidth, l.width - x0);
            tmsize_t got;
            if (tiled) {
                got = tiff().TIFFReadEncodedTile(tif, tiff().TIFFComputeTile(tif, x0, y0, 0, uint16_t(plane)),
                                                 block.data(), blockBytes);
            } else {
                got = tiff().TIFFReadEncodedStrip(tif, tiff().TIFFComputeStrip(tif, y0, uint16_t(plane)), block.data(),
                                                  blockBytes);
            }
            // A strip at the bottom holds only the rows left; a tile is always whole.
            const quint64 wants = quint64(blockWidth) * (tiled ? blockHeight : rows) * quint64(per);
            if (got < 0 || quint64(got) < wants)
                return false;
            for (quint32 y = 0; y < rows; ++y) {
                const uchar *from = block.data() + size_t(y) * blockWidth * size_t(per);
                uchar *to = samples.data() + ((size_t(y0 + y) * l.width + x0) * size_t(stride)) + size_t(first);
                for (quint32 x = 0; x < columns; ++x, from += per, to += stride)
                    std::memcpy(to, from, size_t(per));
            }
        }
    }
    return true;
}

/** The 256 colours of an 8-bit palette image (16-bit entries, scaled to 8). */
bool readPalette(TIFF *tif, QRgb (&colours)[256])
{
    quint16 *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!tiff().TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return false;
    for (int i = 0; i < 256; ++i)
        colours[i] = qRgb(red[i] * 255 / 65535, green[i] * 255 / 65535, blue[i] * 255 / 65535);
    return true;
}

/** The 8-bit samples of a RGB, grey or palette image, with its alpha exactly as stored. */
bool readBySamples(TIFF *tif, const TiffLayout &l, QImage &image)
{
    QRgb palette[256];
    const bool mapped = l.photometric == PHOTOMETRIC_PALETTE;
    if (mapped && !readPalette(tif, palette))
        return false;
    const int stride = l.samples;
    const int bytes = l.bits / 8; // a sample's
    std::vector<uchar> samples(size_t(l.width) * l.height * size_t(stride) * size_t(bytes));
    if (l.planar == PLANARCONFIG_SEPARATE) {
        for (int plane = 0; plane < stride; ++plane) {
            if (!readPlane(tif, l, plane, bytes, plane * bytes, stride * bytes, samples))
                return false;
        }
    } else if (!readPlane(tif, l, 0, stride * bytes, 0, stride * bytes, samples)) {
        return false;
    }
    if (bytes == 2) {
        // libtiff gives 16-bit samples in the machine's byte order; to 8
        // bits rounded, as Qt converts them.
        for (size_t i = 0; i < samples.size() / 2; ++i) {
            quint16 v;
            std::memcpy(&v, samples.data() + 2 * i, 2);
            samples[i] = uchar((v + 128 - ((v + 128) >> 8)) >> 8);
        }
        samples.resize(samples.size() / 2);
    }
    image = QImage(int(l.width), int(l.height),
                   l.alpha == EXTRASAMPLE_ASSOCALPHA ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    const bool grey = l.photometric != PHOTOMETRIC_RGB;
    const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    const uchar *s = samples.data();
    for (quint32 y = 0; y < l.height; ++y) {
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        for (quint32 x = 0; x < l.width; ++x, s += stride) {
            int r = s[0], g = grey ? s[0] : s[1], b = grey ? s[0] : s[2];
            if (invert)
                r = g = b = 255 - s[0];
            const int a = l.alpha ? s[stride - 1] : 255;
            out[x] = mapped ? (palette[s[0]] & 0x00ffffffu) | quint32(a) << 24 : qRgba(r, g, b, a);
        }
    }
    return true;
}

/** True for bilevel images in strips, decoded from their bits here. */
bool readsBits(TIFF *tif, const TiffLayout &l)
{
    return l.bits == 1 && l.samples == 1 && !l.alpha && !tiff().TIFFIsTiled(tif) && l.orientation == ORIENTATION_TOPLEFT
        && (l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE);
}

/** A bilevel image's rows, one bit a pixel, the first in the high bit. */
bool readByBits(TIFF *tif, const TiffLayout &l, QImage &image)
{
    quint32 rowsPerStrip = 0;
    tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, l.height);
    const tmsize_t stripBytes = tiff().TIFFStripSize(tif);
    const size_t rowBytes = (size_t(l.width) + 7) / 8;
    if (rowsPerStrip == 0 || stripBytes <= 0 || quint64(stripBytes) < rowBytes * rowsPerStrip)
        return false;
    image = QImage(int(l.width), int(l.height), QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    const QRgb one = l.photometric == PHOTOMETRIC_MINISBLACK ? 0xffffffffu : 0xff000000u;
    const QRgb zero = one ^ 0x00ffffffu;
    std::vector<uchar> strip(static_cast<size_t>(stripBytes));
    for (quint32 y0 = 0; y0 < l.height; y0 += rowsPerStrip) {
        const quint32 rows = std::min(rowsPerStrip, l.height - y0);
        const tmsize_t got
            = tiff().TIFFReadEncodedStrip(tif, tiff().TIFFComputeStrip(tif, y0, 0), strip.data(), stripBytes);
        if (got < 0 || quint64(got) < rowBytes * rows)
            return false;
        for (quint32 y = 0; y < rows; ++y) {
            const uchar *bits = strip.data() + size_t(y) * rowBytes;
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y0 + y)));
            for (quint32 x = 0; x < l.width; ++x)
                out[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1 ? one : zero;
        }
    }
    return true;
}

/** Any other kind through libtiff's conversion to premultiplied RGBA. */
bool readByRgba(TIFF *tif, const TiffLayout &l, QImage &image)
{
    QImage rgba(int(l.width), int(l.height), QImage::Format_RGBA8888_Premultiplied);
    if (rgba.isNull() || rgba.bytesPerLine() != qsizetype(l.width) * 4)
        return false;
    if (!tiff().TIFFReadRGBAImageOriented(tif, l.width, l.height, reinterpret_cast<uint32_t *>(rgba.bits()),
                                          ORIENTATION_TOPLEFT, 1))
        return false;
    image = rgba;
    return true;
}

QString libtiffSays(const TiffRun &run)
{
    return QStringLiteral("libtiff: ") + (run.message.isEmpty() ? QStringLiteral("no reason given") : run.message);
}

} // namespace

bool looksLikeTiff(const QByteArray &bytes)
{
    return bytes.startsWith("II*\0") || bytes.startsWith("MM\0*") || bytes.startsWith("II+\0")
        || bytes.startsWith("MM\0+");
}

DecodeResult decodeTiff(const QByteArray &bytes, const DecodeLimits &limits)
{
    QString missing;
    if (!tiffLibrary(&missing))
        return decodeFailure(DecodeFailure::Unsupported, missing);
    TiffRun run;
    run.data = reinterpret_cast<const uchar *>(bytes.constData());
    run.size = quint64(bytes.size());
    TiffHandle handle(run);
    if (!handle.tif) {
        const DecodeFailure kind = run.ranOut ? DecodeFailure::Truncated : DecodeFailure::NotAnImage;
        return decodeFailure(
            kind,
            run.ranOut ? QStringLiteral("the TIFF data ends at byte %1 (%2)").arg(bytes.size()).arg(libtiffSays(run))
                       : libtiffSays(run));
    }
    if (run.damaged) // the directory describes data that is not all there
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the TIFF's directory is damaged (%1)").arg(libtiffSays(run)));
    if (run.unsupported)
        return decodeFailure(DecodeFailure::Unsupported,
                             QStringLiteral("the TIFF's rows are stored as differences "
                                            "(Predictor) without a compression that "
                                            "undoes them (%1)")
                                 .arg(libtiffSays(run)));
    const TiffLayout layout = layoutOf(handle.tif);
    DecodeResult result;
    if (layout.width == 0 || layout.height == 0)
        return decodeFailure(DecodeFailure::NotAnImage, QStringLiteral("the TIFF declares no width or height"));
    if (exceedsLimits(layout.width, layout.height, limits, result))
        return result;
    if (layout.predictor > PREDICTOR_NONE
        && (layout.compression == COMPRESSION_NONE || layout.compression == COMPRESSION_PACKBITS))
        // Rows stored as differences that no decoder here undoes.
        return decodeFailure(DecodeFailure::Unsupported,
                             QStringLiteral("the TIFF sets Predictor %1 on data "
                                            "that compression %2 does not predict")
                                 .arg(layout.predictor)
                                 .arg(layout.compression));
    run.inPixels = true;
    QImage image;
    const bool read = readsSamples(layout) ? readBySamples(handle.tif, layout, image)
        : readsBits(handle.tif, layout)    ? readByBits(handle.tif, layout, image)
                                           : readByRgba(handle.tif, layout, image);
    if (!read || run.damaged || image.isNull()) {
        if (run.message.isEmpty())
            run.message = QStringLiteral("a strip or tile holds fewer bytes than its rows need");
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the TIFF image data is cut short or damaged (%1)").arg(libtiffSays(run)));
    }
    result.image = image.convertToFormat(QImage::Format_ARGB32);
    if (result.image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    result.decoder = "tiff";
    result.notices = run.notices;
    return result;
}

QSize tiffDeclaredSize(int fd, const QByteArray &whole, qint64 size)
{
    if (!tiffLibrary())
        return QSize(); // the decode says why
    TiffRun run;
    run.fd = fd;
    run.data = reinterpret_cast<const uchar *>(whole.constData());
    run.size = fd >= 0 ? quint64(std::max<qint64>(size, 0)) : quint64(whole.size());
    TiffHandle handle(run);
    if (!handle.tif)
        return QSize();
    const TiffLayout layout = layoutOf(handle.tif);
    if (layout.width == 0 || layout.height == 0 || layout.width > 0x7fffffffu || layout.height > 0x7fffffffu)
        return QSize();
    return QSize(int(layout.width), int(layout.height));
}

} // namespace kestrin
