#pragma once

// The readers that decide a format on their own, without Qt's image readers:
// those that hand the format to its library (libpng, libjpeg-turbo, libtiff,
// libwebp, giflib), and Kestrin's reader of plain bitmaps. A library reader lets the
// library decide whether the data is whole, treats its warnings about missing
// or damaged data as failures, and words the failure with the library's own
// message. No library message reaches standard error.

#include "decode/imagedecoder.h"

#include <QByteArray>
#include <QSize>

namespace kestrin {

/** The limits every reader applies before it decodes a pixel. */
struct DecodeLimits {
    quint64 pixelBytes = 0; // largest image accepted, in bytes of 32-bit pixels; 0: no limit
};

/** A failure result of `kind` with `reason`. */
[[nodiscard]] DecodeResult decodeFailure(DecodeFailure kind, const QString &reason);

/** True (and `result` set to TooLarge) when `width` x `height` 32-bit pixels
 *  exceed `limits`. */
[[nodiscard]] bool exceedsLimits(quint64 width, quint64 height, const DecodeLimits &limits, DecodeResult &result);

/** Signatures: true when the data starts as the format's files do. */
[[nodiscard]] bool looksLikePng(const QByteArray &bytes);
[[nodiscard]] bool looksLikeJpeg(const QByteArray &bytes);
[[nodiscard]] bool looksLikeTiff(const QByteArray &bytes);
[[nodiscard]] bool looksLikeWebp(const QByteArray &bytes);
[[nodiscard]] bool looksLikeGif(const QByteArray &bytes);

/** The decoders. Each gives Format_ARGB32 pixels and `decoder` set, or a
 *  failure: Truncated when the data ends early or the library reports missing
 *  or damaged image data, NotAnImage or Unsupported when it refuses the
 *  header, TooLarge beyond `limits`. Safe to call from several threads. */
[[nodiscard]] DecodeResult decodePng(const QByteArray &bytes, const DecodeLimits &limits);
[[nodiscard]] DecodeResult decodeJpeg(const QByteArray &bytes, const DecodeLimits &limits);
[[nodiscard]] DecodeResult decodeTiff(const QByteArray &bytes, const DecodeLimits &limits);
[[nodiscard]] DecodeResult decodeWebp(const QByteArray &bytes, const DecodeLimits &limits);
/** The first frame only, on its canvas. */
[[nodiscard]] DecodeResult decodeGif(const QByteArray &bytes, const DecodeLimits &limits);

/** Plain bitmaps (P1): Kestrin's own reader, with the contract above. */
[[nodiscard]] bool looksLikePlainPbm(const QByteArray &bytes);
[[nodiscard]] DecodeResult decodePlainPbm(const QByteArray &bytes, const DecodeLimits &limits);

/** The width and height a TIFF's first directory declares, read with
 *  libtiff from the open descriptor `fd` (of `size` bytes; or from `whole`
 *  when `fd` is -1) without decoding pixels and without a word to standard
 *  error; an invalid size when libtiff does not take the file. */
[[nodiscard]] QSize tiffDeclaredSize(int fd, const QByteArray &whole, qint64 size);

} // namespace kestrin
