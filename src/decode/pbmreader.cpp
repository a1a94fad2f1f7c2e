// Plain (text) bitmaps, P1: Kestrin's own reader decides. Each pixel is one
// digit, 0 (white) or 1 (black); netpbm's writers leave out the separators,
// which Qt's reader needs, so it alone reads them.
#include "decode/formatreaders.h"
#include "decode/frameimage.h"

#include <cctype>

namespace kestrin {

namespace {

/** Moves `pos` past whitespace and '#' comments (to the end of their line). */
void skipSpace(const QByteArray &data, qsizetype &pos)
{
    while (pos < data.size()) {
        if (data[pos] == '#') {
            const qsizetype end = data.indexOf('\n', pos);
            pos = end < 0 ? data.size() : end + 1;
        } else if (std::isspace(uchar(data[pos]))) {
            ++pos;
        } else {
            return;
        }
    }
}

/** A header number: false when there is none at `pos`, or it is too large. */
bool headerNumber(const QByteArray &data, qsizetype &pos, quint32 &value)
{
    skipSpace(data, pos);
    if (pos >= data.size() || !std::isdigit(uchar(data[pos])))
        return false;
    quint64 v = 0;
    while (pos < data.size() && std::isdigit(uchar(data[pos])) && v <= 0x7fffffff)
        v = v * 10 + quint64(data[pos++] - '0');
    value = quint32(v);
    return v >= 1 && v <= 0x7fffffff;
}

} // namespace

bool looksLikePlainPbm(const QByteArray &bytes)
{
    return bytes.size() >= 3 && bytes.startsWith("P1") && (std::isspace(uchar(bytes[2])) || bytes[2] == '#');
}

DecodeResult decodePlainPbm(const QByteArray &bytes, const DecodeLimits &limits)
{
    qsizetype pos = 2;
    quint32 width = 0, height = 0;
    if (!headerNumber(bytes, pos, width) || !headerNumber(bytes, pos, height)) {
        if (pos >= bytes.size())
            return decodeFailure(DecodeFailure::Truncated,
                                 QStringLiteral("the PBM header ends at byte %1").arg(bytes.size()));
        return decodeFailure(DecodeFailure::NotAnImage, QStringLiteral("the PBM header holds no valid size"));
    }
    DecodeResult result;
    if (exceedsLimits(width, height, limits, result))
        return result;
    Image image(int(width), int(height), Image::Format_ARGB32);
    if (image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    const quint64 needed = quint64(width) * height;
    quint64 done = 0;
    auto *pixels = reinterpret_cast<QRgb *>(image.bits());
    const qsizetype perLine = image.bytesPerLine() / 4;
    while (done < needed) {
        skipSpace(bytes, pos);
        if (pos >= bytes.size())
            return decodeFailure(DecodeFailure::Truncated,
                                 QStringLiteral("the PBM text gives %1 of the %2 pixels a %3 x %4 bitmap needs")
                                     .arg(done)
                                     .arg(needed)
                                     .arg(width)
                                     .arg(height));
        const char c = bytes[pos++];
        if (c != '0' && c != '1')
            return decodeFailure(DecodeFailure::Truncated,
                                 QStringLiteral("byte %1 of the PBM text is '%2', where a pixel (0 or 1) belongs")
                                     .arg(pos - 1)
                                     .arg(QLatin1Char(std::isprint(uchar(c)) ? c : '?')));
        const quint64 y = done / width, x = done % width;
        pixels[qsizetype(y) * perLine + qsizetype(x)] = c == '1' ? 0xff000000u : 0xffffffffu;
        ++done;
    }
    result.image = image;
    result.decoder = "pbm";
    return result;
}

} // namespace kestrin
