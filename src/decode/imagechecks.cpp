#include "decode/imagechecks.h"

#include <QColor>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <vector>

namespace kestrin {

namespace {

/** Bounds-checked reads of the data: a read outside it gives 0, so a check
 *  can never touch memory past the end, whatever the fields claim. */
class Bytes
{
public:
    explicit Bytes(const QByteArray &data)
        : m_p(reinterpret_cast<const uchar *>(data.constData())),
          m_n(quint64(data.size()))
    {
    }
    quint64 size() const { return m_n; }
    /** True when `count` bytes from `at` lie inside the data. */
    bool has(quint64 at, quint64 count) const { return at <= m_n && count <= m_n - at; }
    quint32 u8(quint64 at) const { return at < m_n ? m_p[at] : 0; }
    quint32 le16(quint64 at) const { return u8(at) | u8(at + 1) << 8; }
    quint32 be16(quint64 at) const { return u8(at) << 8 | u8(at + 1); }
    quint32 le32(quint64 at) const { return le16(at) | le16(at + 2) << 16; }
    quint32 be32(quint64 at) const { return be16(at) << 16 | be16(at + 2); }
    quint64 le64(quint64 at) const { return le32(at) | quint64(le32(at + 4)) << 32; }
    quint64 be64(quint64 at) const { return quint64(be32(at)) << 32 | be32(at + 4); }
    /** Position of the first `byte` at or after `from`, or size() if none. */
    quint64 find(quint64 from, uchar byte) const
    {
        if (from >= m_n)
            return m_n;
        const void *hit = std::memchr(m_p + from, byte, size_t(m_n - from));
        return hit ? quint64(static_cast<const uchar *>(hit) - m_p) : m_n;
    }
    bool equals(quint64 at, const char *text, quint64 length) const
    {
        return has(at, length) && std::memcmp(m_p + at, text, size_t(length)) == 0;
    }

private:
    const uchar *m_p;
    quint64 m_n;
};

CheckVerdict complete()
{
    return {};
}

CheckVerdict failed(DecodeFailure failure, const QString &reason)
{
    CheckVerdict verdict;
    verdict.failure = failure;
    verdict.reason = reason;
    return verdict;
}

CheckVerdict truncated(const QString &reason)
{
    return failed(DecodeFailure::Truncated, reason);
}

QString num(quint64 value)
{
    return QString::number(value);
}

/** a * b, or the largest value when that overflows (a size that large never fits). */
quint64 product(quint64 a, quint64 b)
{
    return b != 0 && a > std::numeric_limits<quint64>::max() / b ? std::numeric_limits<quint64>::max() : a * b;
}

/** True when `rows` rows of `rowBytes` bytes fit in the data from `start`, without overflow. */
bool rowsFit(const Bytes &b, quint64 start, quint64 rowBytes, quint64 rows)
{
    if (start > b.size())
        return false;
    return rowBytes == 0 || rows <= (b.size() - start) / rowBytes;
}

// ---- BMP ---------------------------------------------------------------

/** Walks an RLE4/RLE8 stream as Qt's reader does, requiring that it sets
 *  every pixel: end-of-line comes only at the end of a row, delta codes
 *  (which skip pixels) do not occur, and the stream reaches the last pixel
 *  before end-of-bitmap or the end of data.
 *
 *  Runs may pass the end of a row as far as Qt's image row reaches (its
 *  width rounded up to 4 bytes): writers pad rows with encoded pixels
 *  (ImageMagick), which Qt's reader stores in that padding. Further would
 *  overwrite the row decoded before. In the first row Qt's reader cuts an
 *  absolute run at the row's end and then reads on from the wrong byte:
 *  there absolute runs end inside the row. */
CheckVerdict checkBmpRle(const Bytes &b, quint64 pos, quint64 width, quint64 height, int bits)
{
    const QString name = bits == 8 ? QStringLiteral("RLE8") : QStringLiteral("RLE4");
    const quint64 stride = (width + 3) / 4 * 4; // bytes in a row of Qt's 8-bit image
    quint64 x = 0;
    quint64 y = 0;
    QString stop = QStringLiteral("the data ends");
    auto pastRow = [&](quint64 count) {
        return truncated(QStringLiteral("an %1 run of %2 pixels at row %3, column %4 passes the end of the row "
                                        "(the image is %5 pixels wide, its rows padded to %6)")
                             .arg(name, num(count), num(y), num(x), num(width), num(stride)));
    };
    while (y < height) {
        if (!b.has(pos, 1))
            break;
        const quint32 count = b.u8(pos++);
        if (count > 0) { // `count` pixels of one value (two alternating ones in RLE4)
            if (!b.has(pos, 1))
                break;
            ++pos;
            if (x + count > stride)
                return pastRow(count);
            x += count;
            continue;
        }
        if (!b.has(pos, 1)) // Qt reads a lone escape byte as end-of-bitmap
            break;
        const quint32 code = b.u8(pos++);
        if (code == 0) { // end of line
            if (x < width)
                return truncated(QStringLiteral("an %1 end-of-line code leaves row %2 at column %3 of %4")
                                     .arg(name, num(y), num(x), num(width)));
            x = 0;
            ++y;
        } else if (code == 1) {
            stop = QStringLiteral("an end-of-bitmap code comes");
            break;
        } else if (code == 2) { // delta: moves right and up, leaving the pixels passed unset
            if (!b.has(pos, 2))
                break;
            const quint32 dx = b.u8(pos);
            const quint32 dy = b.u8(pos + 1);
            pos += 2;
            if (dx != 0 || dy != 0)
                return truncated(QStringLiteral("an %1 delta code at row %2, column %3 skips pixels, "
                                                "whose values the file does not give")
                                     .arg(name, num(y), num(x)));
        } else { // `code` pixels stored one by one, padded to an even byte count
            if (x + code > (y == 0 ? width : stride))
                return pastRow(code);
            const quint64 bytes = bits == 8 ? code : (code + 1) / 2;
            if (!b.has(pos, bytes))
                break;
            pos += bytes + (bytes & 1);
            x += code;
        }
    }
    if (y == height || (y + 1 == height && x >= width))
        return complete();
    return truncated(QStringLiteral("the %1 stream stops at row %2, column %3 of a %4 x %5 image: %6 before "
                                    "%7 of its %8 pixels are set")
                         .arg(name, num(y), num(x), num(width), num(height), stop)
                         .arg(num(height * width - (y * width + x)))
                         .arg(num(height * width)));
}

} // namespace

CheckVerdict checkBmp(const QByteArray &data)
{
    const Bytes b(data);
    if (!b.equals(0, "BM", 2))
        return complete(); // not a BMP: the reader declines it
    if (!b.has(0, 18))
        return truncated(QStringLiteral("the BMP header ends at byte %1").arg(num(b.size())));
    const quint64 offBits = b.le32(10);
    const quint32 infoSize = b.le32(14);
    // Qt's reader takes any header size other than these for the 12-byte
    // OS/2 layout (16-bit width and height) and looks for the colour table
    // right after the declared size.
    const bool windows = infoSize == 40 || infoSize == 64 || infoSize == 108 || infoSize == 124;
    if (infoSize < 12)
        return failed(DecodeFailure::Unsupported, QStringLiteral("a BMP info header of %1 bytes").arg(infoSize));
    if (!b.has(14, infoSize))
        return truncated(QStringLiteral("the BMP info header needs %1 bytes from byte 14; the file ends at byte %2")
                             .arg(num(infoSize), num(b.size())));
    qint64 width, height;
    quint32 planes, bits, compression = 0, colorsUsed = 0;
    if (windows) {
        width = qint32(b.le32(18));
        height = qint32(b.le32(22));
        planes = b.le16(26);
        bits = b.le16(28);
        compression = b.le32(30);
        colorsUsed = b.le32(46);
    } else {
        width = qint16(b.le16(18));
        height = qint16(b.le16(20));
        planes = b.le16(22);
        bits = b.le16(24);
    }
    const bool plain
        = compression == 0 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool rle = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    const bool bitFields = compression == 3 && (bits == 16 || bits == 32);
    if (planes != 1 || !(plain || rle || bitFields))
        return failed(DecodeFailure::Unsupported,
                      QStringLiteral("a BMP of %1 bits per pixel with compression %2").arg(bits).arg(compression));
    if (width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min())
        return failed(DecodeFailure::NotAnImage,
                      QStringLiteral("the BMP header declares %1 x %2 pixels").arg(width).arg(height));
    const quint64 w = quint64(width);
    const quint64 h = quint64(height < 0 ? -height : height);

    quint64 pos = 14 + quint64(infoSize);
    if (bitFields && infoSize < 108)
        pos += 12; // the three colour masks follow the header
    if (bits <= 8) {
        const quint64 colors = colorsUsed ? colorsUsed : 1u << bits;
        if (colors > 256)
            return failed(DecodeFailure::NotAnImage, QStringLiteral("the BMP header declares %1 colours").arg(colors));
        pos += colors * (infoSize == 12 ? 3 : 4);
        if (!b.has(pos, 1))
            return truncated(QStringLiteral("the BMP colour table of %1 entries ends at byte %2; the file ends at "
                                            "byte %3")
                                 .arg(num(colors), num(pos), num(b.size())));
    }
    // Qt's reader starts the pixels at the declared offset, unless that
    // points back into the header or colour table.
    const quint64 start = std::max(pos, offBits);
    if (rle)
        return checkBmpRle(b, start, w, h, int(bits));
    const quint64 rowBytes = (w * bits + 31) / 32 * 4;
    if (!rowsFit(b, start, rowBytes, h))
        return truncated(QStringLiteral("the BMP pixel data needs %1 rows of %2 bytes from byte %3; the file ends "
                                        "at byte %4, %5 rows in")
                             .arg(num(h), num(rowBytes), num(start), num(b.size()))
                             .arg(num(start > b.size() ? 0 : (b.size() - start) / rowBytes)));
    return complete();
}

// ---- XBM, PNM, XPM, WBMP ---------------------------------------------------

CheckVerdict checkXbm(const QByteArray &data, QSize declared)
{
    if (!declared.isValid() || declared.isEmpty())
        return complete();
    // Qt's reader takes two characters after every "0x" as a byte of the
    // bitmap, row after row; each needs its two hexadecimal digits.
    const quint64 needed = quint64((declared.width() + 7) / 8) * quint64(declared.height());
    auto isHex = [&](qsizetype i) { return i < data.size() && std::isxdigit(uchar(data[i])); };
    qsizetype pos = std::max<qsizetype>(data.indexOf('{'), 0);
    quint64 found = 0;
    while (found < needed) {
        pos = data.indexOf("0x", pos);
        if (pos < 0)
            break;
        if (!isHex(pos + 2) || !isHex(pos + 3))
            break;
        ++found;
        pos += 4;
    }
    if (found < needed)
        return truncated(QStringLiteral("the XBM data gives %1 of the %2 bytes a %3 x %4 bitmap needs")
                             .arg(num(found), num(needed))
                             .arg(declared.width())
                             .arg(declared.height()));
    return complete();
}

namespace {

/** Reads the PNM header fields (width, height and, but for bitmaps, the
 *  largest sample value) as Qt's reader does: numbers separated by
 *  whitespace, '#' comments running to the end of their line. `pos` ends
 *  on the byte after the last field. False when the header is cut short. */
bool readPnmFields(const QByteArray &data, qsizetype &pos, quint64 *values, int count)
{
    for (int i = 0; i < count; ++i) {
        for (;;) {
            while (pos < data.size() && std::isspace(uchar(data[pos])))
                ++pos;
            if (pos >= data.size() || data[pos] != '#')
                break;
            pos = data.indexOf('\n', pos);
            if (pos < 0)
                return false;
        }
        if (pos >= data.size() || !std::isdigit(uchar(data[pos])))
            return pos < data.size(); // a broken header: the reader refuses it
        values[i] = 0;
        while (pos < data.size() && std::isdigit(uchar(data[pos])) && values[i] < (quint64(1) << 32))
            values[i] = values[i] * 10 + quint64(data[pos++] - '0');
    }
    return true;
}

/** Counts the numbers (samples) of a plain PNM body from `pos`, up to
 *  `needed`, each at most `largest`. False, with `why` set, at the first
 *  byte that is neither a digit, whitespace nor a comment, or a sample
 *  above `largest`: Qt's reader would read something else there. */
bool countPnmSamples(const QByteArray &data, qsizetype pos, quint64 needed, quint64 largest, quint64 &found,
                     QString &why)
{
    found = 0;
    while (found < needed && pos < data.size()) {
        const char c = data[pos];
        if (c == '#') {
            pos = data.indexOf('\n', pos);
            if (pos < 0)
                break;
        } else if (std::isdigit(uchar(c))) {
            quint64 value = 0;
            while (pos < data.size() && std::isdigit(uchar(data[pos])) && value <= largest)
                value = value * 10 + quint64(data[pos++] - '0');
            if (value > largest) {
                why = QStringLiteral("sample %1 of the PNM text exceeds its largest value %2")
                          .arg(num(found + 1), num(largest));
                return false;
            }
            ++found;
            continue;
        } else if (!std::isspace(uchar(c))) {
            why = QStringLiteral("byte %1 of the PNM text, '%2', is not part of a number")
                      .arg(num(quint64(pos)), QString::fromLatin1(QByteArray(1, c)).toHtmlEscaped());
            return false;
        }
        ++pos;
    }
    return true;
}

} // namespace

CheckVerdict checkPnm(const QByteArray &data)
{
    if (data.size() < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6')
        return complete();
    const char kind = data[1];
    const bool bitmap = kind == '1' || kind == '4';
    quint64 values[3] = {0, 0, 1}; // width, height, largest sample value
    qsizetype pos = 2;
    if (!readPnmFields(data, pos, values, bitmap ? 2 : 3))
        return truncated(QStringLiteral("the PNM header ends at byte %1").arg(data.size()));
    const Bytes b(data);
    if (kind >= '4') { // binary: one whitespace byte, then the rows
        const quint64 start = quint64(pos) + 1;
        const quint64 sampleBytes = values[2] > 255 ? 2 : 1;
        const quint64 rowBytes = bitmap ? (values[0] + 7) / 8 : values[0] * sampleBytes * (kind == '6' ? 3 : 1);
        if (!rowsFit(b, start, rowBytes, values[1]))
            return truncated(QStringLiteral("the PNM pixel data needs %1 rows of %2 bytes from byte %3; the file "
                                            "ends at byte %4")
                                 .arg(num(values[1]), num(rowBytes), num(start), num(b.size())));
        return complete();
    }
    // Text: one number per sample.
    const quint64 needed = product(product(values[0], values[1]), kind == '3' ? 3 : 1);
    quint64 found = 0;
    QString why;
    if (!countPnmSamples(data, pos, needed, values[2], found, why))
        return truncated(why);
    if (found < needed)
        return truncated(QStringLiteral("the PNM text gives %1 of the %2 samples a %3 x %4 image needs")
                             .arg(num(found), num(needed), num(values[0]), num(values[1])));
    return complete();
}

namespace {

/** The colour an XPM colour line gives for colour displays: the words after
 *  the "c" key (else "g", "g4" or "m"), up to the next key. */
QByteArray xpmColour(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const auto isKey = [](const QByteArray &w) { return w == "c" || w == "g" || w == "g4" || w == "m" || w == "s"; };
    for (const char *key : {"c", "g", "g4", "m"}) {
        const qsizetype at = words.indexOf(QByteArray(key));
        if (at < 0)
            continue;
        QByteArrayList value;
        for (qsizetype i = at + 1; i < words.size() && !isKey(words[i]); ++i)
            value.append(words[i]);
        return value.join(' ');
    }
    return QByteArray();
}

} // namespace

CheckVerdict checkXpm(const QByteArray &data)
{
    // The C strings after the opening brace: "width height colours
    // characters-per-pixel", one per colour, then one per row.
    qsizetype pos = data.indexOf('{');
    if (pos < 0)
        return complete();
    auto nextString = [&](QByteArray &text) {
        for (;;) {
            const qsizetype quote = data.indexOf('"', pos);
            const qsizetype comment = data.indexOf("/*", pos);
            if (quote < 0)
                return false;
            if (comment >= 0 && comment < quote) {
                pos = data.indexOf("*/", comment + 2);
                if (pos < 0)
                    return false;
                pos += 2;
                continue;
            }
            const qsizetype close = data.indexOf('"', quote + 1);
            if (close < 0)
                return false;
            text = data.mid(quote + 1, close - quote - 1);
            pos = close + 1;
            return true;
        }
    };
    QByteArray text;
    if (!nextString(text))
        return truncated(QStringLiteral("the XPM data ends before its header string"));
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.size() < 4)
        return complete(); // a broken header: the reader refuses it
    const quint64 width = fields[0].toULongLong();
    const quint64 height = fields[1].toULongLong();
    const quint64 colors = fields[2].toULongLong();
    const quint64 perPixel = fields[3].toULongLong();
    for (quint64 i = 0; i < colors; ++i) {
        if (!nextString(text))
            return truncated(QStringLiteral("the XPM data ends after %1 of its %2 colours").arg(num(i), num(colors)));
        const QByteArray colour = xpmColour(text.mid(qsizetype(std::min<quint64>(perPixel, quint64(text.size())))));
        if (colour.compare("none", Qt::CaseInsensitive) != 0 && !QColor::isValidColorName(QLatin1String(colour)))
            return truncated(QStringLiteral("XPM colour %1 of %2, \"%3\", is no colour Qt knows: the pixels "
                                            "using it have none")
                                 .arg(num(i + 1), num(colors), QString::fromLatin1(colour)));
    }
    for (quint64 row = 0; row < height; ++row) {
        if (!nextString(text) || quint64(text.size()) < product(width, perPixel))
            return truncated(QStringLiteral("the XPM data ends in row %1 of %2").arg(num(row), num(height)));
    }
    return complete();
}

CheckVerdict checkWbmp(const QByteArray &data)
{
    // Type 0 (a multi-byte integer), a header byte, then width and height
    // as multi-byte integers (7 bits a byte, high bit: more follow), then rows.
    const Bytes b(data);
    quint64 pos = 0;
    auto number = [&](quint64 &value) {
        value = 0;
        for (int i = 0; i < 5; ++i) {
            if (!b.has(pos, 1))
                return false;
            const quint32 byte = b.u8(pos++);
            value = value << 7 | (byte & 0x7f);
            if (!(byte & 0x80))
                return true;
        }
        return false;
    };
    quint64 type, width, height;
    if (!number(type) || type != 0)
        return complete();
    ++pos;
    if (!number(width) || !number(height))
        return truncated(QStringLiteral("the WBMP header ends at byte %1").arg(num(b.size())));
    if (!rowsFit(b, pos, (width + 7) / 8, height))
        return truncated(QStringLiteral("the WBMP pixel data needs %1 rows of %2 bytes from byte %3; the file ends "
                                        "at byte %4")
                             .arg(num(height), num((width + 7) / 8), num(pos), num(b.size())));
    return complete();
}

// ---- ICO, CUR ----------------------------------------------------------------

CheckVerdict checkIco(const QByteArray &data)
{
    const Bytes b(data);
    if (!b.has(0, 6) || b.le16(0) != 0 || (b.le16(2) != 1 && b.le16(2) != 2))
        return complete();
    const quint64 count = b.le16(4);
    if (!b.has(6, count * 16))
        return truncated(QStringLiteral("the icon directory of %1 entries ends at byte %2; the file ends at byte %3")
                             .arg(num(count), num(6 + count * 16), num(b.size())));
    // Qt's reader decodes the first image only; the others may be damaged.
    const quint64 size = b.le32(6 + 8);
    const quint64 offset = b.le32(6 + 12);
    if (count > 0 && !b.has(offset, size))
        return truncated(QStringLiteral("the icon's first image lies at bytes %1 to %2; the file ends at byte %3")
                             .arg(num(offset), num(offset + size), num(b.size())));
    return complete();
}

// ---- TGA -------------------------------------------------------------------

namespace {

struct TgaHeader {
    quint32 idLength = 0;
    quint32 colorMapType = 0;
    quint32 imageType = 0;
    quint32 colorMapFirst = 0;
    quint32 colorMapLength = 0;
    quint32 colorMapBits = 0;
    quint32 width = 0;
    quint32 height = 0;
    quint32 bits = 0;
    quint32 descriptor = 0; // bit 5: first row at the top; bit 4: first column at the right
};

bool readTgaHeader(const Bytes &b, TgaHeader &h)
{
    if (!b.has(0, 18))
        return false;
    h.idLength = b.u8(0);
    h.colorMapType = b.u8(1);
    h.imageType = b.u8(2);
    h.colorMapFirst = b.le16(3);
    h.colorMapLength = b.le16(5);
    h.colorMapBits = b.u8(7);
    h.width = b.le16(12);
    h.height = b.le16(14);
    h.bits = b.u8(16);
    h.descriptor = b.u8(17);
    return true;
}

constexpr quint64 kTgaFooterBytes = 26;

bool hasTgaFooter(const Bytes &b)
{
    return b.size() >= 18 + kTgaFooterBytes && b.equals(b.size() - 18, "TRUEVISION-XFILE", 16);
}

/** Where the pixel data must end: before the version-2 footer and the
 *  extension and developer areas it points to. */
quint64 tgaDataEnd(const Bytes &b)
{
    if (!hasTgaFooter(b))
        return b.size();
    quint64 end = b.size() - kTgaFooterBytes;
    const quint64 extension = b.le32(end);
    const quint64 developer = b.le32(end + 4);
    if (extension >= 18 && extension < end)
        end = extension;
    if (developer >= 18 && developer < end)
        end = developer;
    return end;
}

CheckVerdict tgaPixelsMissing(quint64 start, quint64 needed, quint64 end)
{
    return truncated(QStringLiteral("the TGA pixel data needs %1 bytes from byte %2; the data ends at byte %3")
                         .arg(num(needed), num(start), num(end)));
}

} // namespace

CheckVerdict checkTgaForStb(const QByteArray &data, QSize *size)
{
    const Bytes b(data);
    TgaHeader h;
    if (!readTgaHeader(b, h))
        return truncated(QStringLiteral("the TGA header ends at byte %1").arg(num(b.size())));
    const bool mapped = h.colorMapType == 1;
    auto oneOf = [](quint32 v, std::initializer_list<quint32> set) {
        return std::find(set.begin(), set.end(), v) != set.end();
    };
    // The header stb_image accepts as TGA.
    const bool valid = h.colorMapType <= 1 && h.width > 0 && h.height > 0
        && (mapped ? oneOf(h.imageType, {1, 9}) && oneOf(h.colorMapBits, {8, 15, 16, 24, 32}) && oneOf(h.bits, {8, 16})
                   : oneOf(h.imageType, {2, 3, 10, 11}) && oneOf(h.bits, {8, 15, 16, 24, 32}));
    if (!valid)
        return failed(DecodeFailure::NotAnImage,
                      QStringLiteral("no TGA header (colour map type %1, image type %2, "
                                     "%3 bits per pixel)")
                          .arg(h.colorMapType)
                          .arg(h.imageType)
                          .arg(h.bits));
    if (size)
        *size = QSize(int(h.width), int(h.height));
    if (mapped && h.colorMapLength == 0)
        return failed(DecodeFailure::NotAnImage, QStringLiteral("a colour-mapped TGA with an empty colour map"));
    // stb_image takes the first colour map index for a byte count to skip:
    // wrong pixels. (It ignores the right-to-left flag too; the decoder
    // mirrors such rows afterwards.)
    if (mapped && h.colorMapFirst != 0)
        return failed(DecodeFailure::Unsupported,
                      QStringLiteral("a TGA colour map starting at entry %1").arg(h.colorMapFirst));

    const bool grey = h.imageType == 3 || h.imageType == 11;
    const bool rle = h.imageType >= 9;
    auto entryBytes = [](quint32 bits) -> quint64 { return bits == 15 ? 2 : bits / 8; };
    const quint64 pixelBytes = mapped ? h.bits / 8 : (h.bits == 15 || (h.bits == 16 && !grey) ? 2 : h.bits / 8);
    const quint64 start = 18 + quint64(h.idLength) + (mapped ? h.colorMapLength * entryBytes(h.colorMapBits) : 0);
    const quint64 end = tgaDataEnd(b);
    const quint64 pixels = quint64(h.width) * h.height;
    if (start > end)
        return truncated(
            QStringLiteral("the TGA colour map ends at byte %1; the data ends at byte %2").arg(num(start), num(end)));
    if (!rle) {
        if (pixels * pixelBytes > end - start)
            return tgaPixelsMissing(start, pixels * pixelBytes, end);
        return complete();
    }
    // Packets: a header byte (bit 7: one value repeated, else values one by
    // one; low 7 bits: pixel count - 1) and their value(s). Packets may
    // cross rows but not the end of the image.
    quint64 pos = start;
    quint64 done = 0;
    while (done < pixels) {
        if (pos >= end)
            return truncated(QStringLiteral("the TGA RLE data ends at byte %1 after %2 of %3 pixels")
                                 .arg(num(end), num(done), num(pixels)));
        const quint32 packet = b.u8(pos++);
        const quint64 count = (packet & 0x7f) + 1;
        if (count > pixels - done)
            return truncated(QStringLiteral("a TGA RLE packet of %1 pixels at byte %2 passes the end of the image "
                                            "(%3 of %4 pixels set before it)")
                                 .arg(num(count), num(pos - 1), num(done), num(pixels)));
        const quint64 bytes = (packet & 0x80) ? pixelBytes : count * pixelBytes;
        if (bytes > end - pos)
            return truncated(QStringLiteral("the TGA RLE data ends at byte %1 inside a packet, %2 of %3 pixels in")
                                 .arg(num(end), num(done), num(pixels)));
        pos += bytes;
        done += count;
    }
    return complete();
}

// ---- PSD -------------------------------------------------------------------

CheckVerdict checkPsdForStb(const QByteArray &data, QSize *size, PsdLayout *layout)
{
    const Bytes b(data);
    if (!b.equals(0, "8BPS", 4))
        return failed(DecodeFailure::NotAnImage, QStringLiteral("no PSD signature"));
    if (!b.has(0, 26))
        return truncated(QStringLiteral("the PSD header ends at byte %1").arg(num(b.size())));
    const quint32 version = b.be16(4);
    const quint64 channels = b.be16(12);
    const quint64 height = b.be32(14);
    const quint64 width = b.be32(18);
    const quint32 depth = b.be16(22);
    const quint32 mode = b.be16(24);
    if (size && width <= 0x7fffffff && height <= 0x7fffffff)
        *size = QSize(int(width), int(height));
    if (version != 1)
        return failed(DecodeFailure::Unsupported, QStringLiteral("PSD version %1 (large-document PSB)").arg(version));
    if (mode != 3)
        return failed(DecodeFailure::Unsupported,
                      QStringLiteral("a PSD in colour mode %1 (only RGB is read)").arg(mode));
    if (depth != 8 && depth != 16)
        return failed(DecodeFailure::Unsupported, QStringLiteral("a PSD of %1 bits per channel").arg(depth));
    if (channels < 3 || channels > 16)
        return failed(DecodeFailure::Unsupported, QStringLiteral("an RGB PSD with %1 channels").arg(channels));
    if (width == 0 || height == 0 || width > (1u << 24) || height > (1u << 24))
        return failed(DecodeFailure::NotAnImage,
                      QStringLiteral("the PSD header declares %1 x %2 pixels").arg(num(width), num(height)));
    quint64 pos = 26;
    // Colour mode data, image resources, layers and masks: each a length and its bytes.
    for (const char *section : {"colour mode data", "image resources", "layer and mask information"}) {
        if (!b.has(pos, 4) || !b.has(pos + 4, b.be32(pos)))
            return truncated(QStringLiteral("the PSD data ends at byte %1 inside its %2")
                                 .arg(num(b.size()), QLatin1String(section)));
        pos += 4 + quint64(b.be32(pos));
    }
    if (!b.has(pos, 2))
        return truncated(QStringLiteral("the PSD data ends at byte %1 before the composite image").arg(num(b.size())));
    const quint32 compression = b.be16(pos);
    pos += 2;
    if (layout)
        *layout = {channels, width, height, depth, compression == 1, pos};
    const quint64 read = std::min<quint64>(channels, 4); // red, green, blue, alpha
    const quint64 pixels = width * height;
    if (compression == 0) {
        const quint64 needed = read * pixels * (depth / 8);
        if (needed > b.size() - pos)
            return truncated(QStringLiteral("the PSD composite image needs %1 bytes from byte %2; the file ends at "
                                            "byte %3")
                                 .arg(num(needed), num(pos), num(b.size())));
        return complete();
    }
    if (compression != 1)
        return failed(DecodeFailure::Unsupported,
                      QStringLiteral("a PSD composite with compression %1").arg(compression));
    if (depth != 8) // stb_image unpacks RLE data byte by byte
        return failed(DecodeFailure::Unsupported, QStringLiteral("an RLE-compressed PSD of 16 bits per channel"));
    const quint64 table = height * channels * 2; // byte counts of every row of every channel
    if (table > b.size() - pos)
        return truncated(QStringLiteral("the PSD data ends at byte %1 inside its row length table").arg(num(b.size())));
    pos += table;
    // Each channel: PackBits, n < 128: n + 1 bytes as they are; n > 128:
    // the next byte 257 - n times; 128: nothing.
    for (quint64 channel = 0; channel < read; ++channel) {
        quint64 done = 0;
        while (done < pixels) {
            if (!b.has(pos, 1))
                return truncated(QStringLiteral("the PSD RLE data ends at byte %1 in channel %2, %3 of %4 pixels in")
                                     .arg(num(b.size()), num(channel), num(done), num(pixels)));
            const quint32 n = b.u8(pos++);
            if (n == 128)
                continue;
            const quint64 count = n < 128 ? n + 1 : 257 - n;
            const quint64 bytes = n < 128 ? count : 1;
            if (count > pixels - done)
                return truncated(QStringLiteral("a PSD RLE run at byte %1 passes the end of channel %2")
                                     .arg(num(pos - 1), num(channel)));
            if (!b.has(pos, bytes))
                return truncated(QStringLiteral("the PSD RLE data ends at byte %1 in channel %2, %3 of %4 pixels in")
                                     .arg(num(b.size()), num(channel), num(done), num(pixels)));
            pos += bytes;
            done += count;
        }
    }
    return complete();
}

// ---- dispatch --------------------------------------------------------------

CheckVerdict checkForQtReader(const QByteArray &qtFormat, const QByteArray &data,
                              const std::function<QSize()> &declaredSize)
{
    const QByteArray f = qtFormat.toLower();
    if (f == "bmp" || f == "dib")
        return checkBmp(data);
    if (f == "xbm")
        return checkXbm(data, declaredSize());
    if (f == "pbm" || f == "pgm" || f == "ppm")
        return checkPnm(data);
    if (f == "ico" || f == "cur")
        return checkIco(data);
    if (f == "xpm")
        return checkXpm(data);
    if (f == "wbmp")
        return checkWbmp(data);
    return complete(); // these readers (ICNS, MNG) refuse data that ends early on their own
}

} // namespace kestrin
