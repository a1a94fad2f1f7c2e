#pragma once

// Structural checks run before a reader sees the data, for the formats no
// well-kept library decodes: each one
// walks the format's header, tables and pixel stream as the reader will,
// without decoding pixels, and says whether the data defines every pixel the
// reader is going to fill. They exist because several readers fill missing
// data with whatever the pixel buffer held (Qt's BMP and XBM readers) or with
// zeros (stb_image), and report success.

#include "decode/imagedecoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrin {

/** What a check found. */
struct CheckVerdict {
    DecodeFailure failure = DecodeFailure::None; // None: nothing the reader needs is missing
    QString reason;                              // on failure: what is missing, in the format's terms
};

/** The check for data that Qt's reader `qtFormat` (QImageReader::format())
 *  is about to read. `declaredSize` gives the size the reader finds in the
 *  header (QImageReader::size()); it is asked only for formats whose header
 *  only Qt's reader parses (XBM). Formats whose readers refuse short data on
 *  their own, silently, pass unchecked. */
[[nodiscard]] CheckVerdict checkForQtReader(const QByteArray &qtFormat, const QByteArray &data,
                                            const std::function<QSize()> &declaredSize);

[[nodiscard]] CheckVerdict checkBmp(const QByteArray &data);
[[nodiscard]] CheckVerdict checkXbm(const QByteArray &data, QSize declared);
[[nodiscard]] CheckVerdict checkPnm(const QByteArray &data);
[[nodiscard]] CheckVerdict checkXpm(const QByteArray &data);
[[nodiscard]] CheckVerdict checkWbmp(const QByteArray &data);
[[nodiscard]] CheckVerdict checkIco(const QByteArray &data);

/** TGA as stb_image reads it. `size` receives the declared size when the
 *  header is one stb_image reads (whatever the verdict). */
[[nodiscard]] CheckVerdict checkTgaForStb(const QByteArray &data, QSize *size = nullptr);
/** Where a PSD keeps its composite image. */
struct PsdLayout {
    quint64 channels = 0; // planes stored: red, green, blue, then alpha and extra ones
    quint64 width = 0;
    quint64 height = 0;
    quint64 depth = 0;     // bits per sample, 8 or 16
    bool rle = false;      // PackBits rows after a table of their lengths, else raw planes
    quint64 dataStart = 0; // first byte after the compression field
};

/** PSD as stb_image reads it (RGB colour mode, 8 or 16 bits, raw or RLE).
 *  `layout` receives where the composite lies when the verdict is None. */
[[nodiscard]] CheckVerdict checkPsdForStb(const QByteArray &data, QSize *size = nullptr, PsdLayout *layout = nullptr);

} // namespace kestrin
