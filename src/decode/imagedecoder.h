#pragma once

#include "decode/frameimage.h"
#include "fileio/failure.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

namespace kestrin {

/** Why a frame file gave no image: the decoding room's failure kinds. */
enum class DecodeFailure : quint8 {
    None,           // no failure
    NotRegularFile, // a folder, FIFO, device or socket: refused without being opened
    CannotOpen,     // missing, not permitted, ...: the reason is the system's text
    CannotRead,     // reading stopped with an error: the reason is the system's text
    TooLarge,       // the file, or the image its header describes, exceeds the limits below
    NotAnImage,     // no decoder recognises the data, or every one that does declines it
    Unsupported,    // a recognised format in a variant that no decoder here reads correctly
    Truncated,      // the data does not define every pixel: it ends early, or its pixel
                    // stream stops, skips pixels or runs past a row or the image
};

constexpr FailureRoom failureRoomOf(DecodeFailure)
{
    return FailureRoom::Decode;
}

/** The kind in a few words, the start of a failed frame's reason:
 *  "truncated", "not an image", ... */
[[nodiscard]] QString failureText(DecodeFailure failure);

/** The outcome of decoding one image file or buffer. */
struct DecodeResult {
    Image image;         // Format_ARGB32, not premultiplied; null on failure
    Failure failure;     // a DecodeFailure with the file and the reason (what is missing, or which
                         // decoders were tried and why each declined); none exactly when `image`
                         // holds the pixels
    QString path;        // the file it concerns; empty for decodeImageData
    QByteArray decoder;  // on success: the reader that produced the pixels ("bmp", "tga (stb_image)", ...)
    QStringList notices; // messages a successful reader printed (never shown by the decoder)

    [[nodiscard]] bool ok() const { return !failure; }
    /** "truncated: <reason>": what the command line prints after the file name. */
    [[nodiscard]] QString message() const;
};

/** The size an image file declares, read from its header only. */
struct SizeProbe {
    QSize size;      // valid exactly when there is no failure
    Failure failure; // a DecodeFailure with the file and the reason
    QString path;
    qint64 fileBytes = -1; // the length of the file when it could be opened, else -1

    [[nodiscard]] bool ok() const { return !failure; }
};

/** Qt's own limit on a decoded image (QImageReader::allocationLimit() unless
 *  a program or QT_IMAGEIO_MAXALLOC changes it), in MiB: the limit of a
 *  program built with plain images, which has no QImageReader, unless
 *  QT_IMAGEIO_MAXALLOC changes it there too. */
constexpr int kDefaultAllocationLimitMiB = 128;

/** Files longer than this are refused as TooLarge before they are read. */
constexpr qint64 kMaxImageFileBytes = qint64(1) << 30;

/** Room for what a frame file holds besides its pixels (colour profiles,
 *  metadata, thumbnails); also the most read of a file whose header no
 *  reader recognises. */
constexpr qint64 kUnrecognisedFileBytes = qint64(16) << 20;

/** The most bytes a pixel takes in any format read here, stored the least
 *  compactly: a plain PPM of 16-bit samples ("65535 " three times), an XPM
 *  of many characters a pixel. */
constexpr quint64 kMaxFileBytesPerPixel = 32;

/** The largest frame file decodeImageFile reads for an image whose header
 *  declares `declared`: kUnrecognisedFileBytes plus kMaxFileBytesPerPixel a
 *  pixel, at most kMaxImageFileBytes (kUnrecognisedFileBytes for an invalid
 *  size). A larger file is refused before it is read. This is also the most
 *  memory the file's bytes take while it decodes. */
[[nodiscard]] qint64 maxFrameFileBytes(QSize declared);

/** Decodes the image file at `path`.
 *
 *  A path that is not a regular file (a folder, FIFO, device, socket) fails at
 *  once as NotRegularFile: it is examined with stat and never opened in a way
 *  that could block. Its header is read first (as probeImageFile reads it): a
 *  file longer than maxFrameFileBytes of the size it declares is refused as
 *  TooLarge (NotAnImage when no reader recognises the header) without being
 *  read. Otherwise the file is read whole and
 *  decoded from those bytes with decodeImageData's rules, the file's name
 *  playing the part of the format hint.
 *
 *  Safe to call from several threads at once. */
[[nodiscard]] DecodeResult decodeImageFile(const QString &path);

/** Decodes an image held in memory. `formatHint` plays the part of a file
 *  name's suffix ("bmp", "tga", ...; empty: choose by content only).
 *
 *  - PNG, JPEG, TIFF and WebP (recognised by their first bytes, or by the
 *    hint when the data is too short to tell) are decoded by libpng,
 *    libjpeg-turbo, libtiff and libwebp, which alone decide whether the data
 *    is whole: their errors, and their warnings about missing or damaged
 *    data, refuse the file (Truncated once pixel data is involved) with the
 *    library's message as the reason. Where Qt's readers decode these
 *    correctly the pixels are theirs; unassociated alpha in TIFFs and PNG
 *    colour keys of 16-bit images are kept exactly as stored. Plain bitmaps
 *    (P1) have Kestrin's own reader.
 *  - BMP, PBM/PGM/PPM, XPM, XBM, ICO/CUR, WBMP, ICNS and MNG go to the first
 *    of Qt's readers for them that takes the data (the one the name's suffix
 *    names first, then each in turn by the content; no other Qt reader ever
 *    looks at it) and give exactly the pixels of QImage::load +
 *    convertToFormat(Format_ARGB32), provided the data defines every pixel. Before the reader sees the data, a check of
 *    the format's structure that agrees with the reader refuses as Truncated
 *    what does not: data that ends early, RLE streams that stop early, skip
 *    pixels or run past the reader's row or the image, headers that claim
 *    more pixels than the data holds, XPM colours Qt does not know, plain
 *    PNM text that is no number. The pixel buffer a reader fills is cleared
 *    beforehand, so no byte of the result ever comes from uninitialised
 *    memory.
 *  - TGA (RLE or not, any origin and row direction, 8 to 32 bits,
 *    colour-mapped, with or without the version-2 footer; taken for TGA by
 *    the name's suffix, or by the footer when no other reader knows the
 *    data) and PSD (the flattened composite, colours as stored) are decoded
 *    by stb_image, with the same rule.
 *  - Images whose pixels would need more than QImageReader::allocationLimit()
 *    are refused as TooLarge before any pixel is decoded.
 *  - Images carry no colour space: frames are the numbers their files hold.
 *  - The libraries' messages go into the failure's reason (or into
 *    `notices`), never to standard error; the Qt readers used print nothing
 *    on the data their checks let through (ICNS and MNG, unchecked, may warn
 *    on damaged data through Qt's message handler). No message handler is
 *    installed here.
 *
 *  Safe to call from several threads at once. */
[[nodiscard]] DecodeResult decodeImageData(const QByteArray &bytes, const QByteArray &formatHint = {});

/** The width and height that the image file at `path` declares, read from
 *  its header (a PNG's IHDR, a BMP's or GIF's header, a JPEG's frame header,
 *  libwebp's or libtiff's parse of theirs, the size Qt's reader for the
 *  format finds, or the TGA/PSD header) quietly, without decoding
 *  pixels and without reading the whole file. Refuses what decodeImageFile
 *  refuses before reading (not a regular file, cannot open, too large) and
 *  gives NotAnImage when no reader recognises the header. The size is a
 *  claim: decodeImageFile may still find the data incomplete. */
[[nodiscard]] SizeProbe probeImageFile(const QString &path);

} // namespace kestrin
