#pragma once

// What one fuzz input does to the frame decoder, shared by the libFuzzer
// target and the replay test. The first byte picks the name suffix the data
// is decoded under (the reader is chosen by suffix, then content); the rest
// is the file. A decoded image must be whole: every pixel is read.

#include "decode/imagedecoder.h"

#include <QByteArray>
#include <QImage>

#include <cstdlib>
#include <iterator>

namespace kestrinfuzz {

inline const char *const kDecodeHints[] = {"",    "bmp", "png", "gif",  "jpg", "tga",  "psd",  "tif", "webp", "xpm",
                                           "xbm", "ppm", "pgm", "pbm",  "ico", "cur",  "wbmp", "icns", "mng", "dat"};
constexpr int kDecodeHintCount = int(std::size(kDecodeHints));

/** Returns whether the input decoded; aborts when a result breaks its contract. */
inline bool exerciseImageDecoder(const QByteArray &input)
{
    if (input.isEmpty())
        return false;
    const QByteArray hint = kDecodeHints[uchar(input[0]) % kDecodeHintCount];
    const kestrin::DecodeResult result = kestrin::decodeImageData(input.mid(1), hint);
    if (!result.ok()) {
        if (!result.image.isNull() || result.failure.reason.isEmpty())
            std::abort();
        return false;
    }
    if (result.image.isNull() || result.image.format() != QImage::Format_ARGB32)
        std::abort();
    // A volatile sink keeps the compiler from dropping the reads.
    volatile quint32 sink = 0;
    for (int y = 0; y < result.image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(result.image.constScanLine(y));
        for (int x = 0; x < result.image.width(); ++x)
            sink = sink ^ line[x];
    }
    return true;
}

} // namespace kestrinfuzz
