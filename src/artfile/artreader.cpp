#include "artfile/artreader.h"

#include "artfile/artformat.h"

#include <QFile>
#include <QIODevice>

#include <cstring>

namespace kestrin {

namespace {

// Every offset and size below is qint64: a file of any length, and a frame
// count up to 8 * 2^32, never wraps.

const quint8 *at(const QByteArray &bytes, qint64 offset)
{
    return reinterpret_cast<const quint8 *>(bytes.constData()) + offset;
}

/** Header fields, checked as far as the header alone allows. */
bool parseHeader(const QByteArray &bytes, ArtFile &art, QString &error)
{
    const qint64 size = bytes.size();
    if (size < art::headerSize) {
        error = QStringLiteral("file too short for the header: %1 bytes, the header alone takes %2")
                    .arg(size)
                    .arg(art::headerSize);
        return false;
    }
    const art::Header header = art::decodeHeader(at(bytes, 0));
    art.staticFlag = quint32(header.staticFlag);
    art.rate = header.rate;
    art.directionCount = quint32(header.directionCount);
    art.actionFrame = header.actionFrame;
    // Read unsigned: no file can hold 2^31 frames, and the count is checked
    // against the file length before it is used.
    art.framesPerDirection = quint32(header.framesPerDirection);
    if (art.staticFlag > 1) {
        error = QStringLiteral("unknown sprite type flag %1 at offset %2 (1 static, 0 rotatable)")
                    .arg(art.staticFlag)
                    .arg(art::staticFlagOffset);
        return false;
    }
    if (art.directionCount != quint32(art::directionCount)) {
        error = QStringLiteral("direction count is %1, must be %2")
                    .arg(art.directionCount)
                    .arg(art::directionCount);
        return false;
    }
    return true;
}

/** The palette slots: slots 0 .. P-1 non-zero, the others zero. */
bool parseSlots(const QByteArray &bytes, ArtFile &art, QString &error)
{
    quint32 count = 0;
    for (quint32 slot = 0; slot < art::maxPaletteCount; ++slot) {
        const quint32 value = art::get32le(at(bytes, art::paletteSlotsOffset + art::paletteSlotSize * slot));
        if (value != 0 && count != slot) {
            error = QStringLiteral("palette slot %1 is set although slot %2 is zero").arg(slot).arg(count);
            return false;
        }
        if (value != 0)
            ++count;
    }
    if (count == 0) {
        error = QStringLiteral("no palette slot is set: a file holds %1 to %2 palettes")
                    .arg(art::minPaletteCount)
                    .arg(art::maxPaletteCount);
        return false;
    }
    art.paletteCount = count;
    art.signature = bytes.mid(art::paletteSlotsOffset, art::paletteSlotSize * count);
    return true;
}

/** P complete palettes, all equal to the first. */
bool parsePalettes(const QByteArray &bytes, ArtFile &art, QString &error)
{
    const qint64 end = qint64(art::frameHeadersOffset(art.paletteCount));
    if (end > bytes.size()) {
        error = QStringLiteral("truncated: the %1 palettes end at byte %2, the file has %3 bytes")
                    .arg(art.paletteCount)
                    .arg(end)
                    .arg(bytes.size());
        return false;
    }
    const quint8 *first = at(bytes, art::paletteOffset);
    for (quint32 p = 1; p < art.paletteCount; ++p) {
        if (std::memcmp(first, first + qint64(art::paletteSize) * p, art::paletteSize) != 0) {
            error = QStringLiteral("palette %1 differs from palette 0").arg(p);
            return false;
        }
    }
    art.palette = bytes.mid(art::paletteOffset, art::paletteSize);
    return true;
}

/** The frame headers and the index data, which must end exactly at the end
 *  of the file. */
bool parseFrames(const QByteArray &bytes, ArtFile &art, QString &error)
{
    const qint64 size = bytes.size();
    const qint64 count = art.isRotatable() ? qint64(art::directionCount) * art.framesPerDirection
                                           : qint64(art.framesPerDirection);
    const qint64 headersStart = qint64(art::frameHeadersOffset(art.paletteCount));
    const qint64 headersEnd = qint64(art::indexDataOffset(art.paletteCount, quint64(count)));
    if (headersEnd > size) {
        error = QStringLiteral("truncated: %1 frame headers (%2 frames per direction, %3) end at byte %4, "
                               "the file has %5 bytes")
                    .arg(count)
                    .arg(art.framesPerDirection)
                    .arg(art.isRotatable() ? QStringLiteral("rotatable") : QStringLiteral("static"))
                    .arg(headersEnd)
                    .arg(size);
        return false;
    }
    // The count is now bounded by the file length, so reserving is safe.
    art.frames.clear();
    art.frames.reserve(size_t(count));
    qint64 dataOffset = headersEnd;
    for (qint64 i = 0; i < count; ++i) {
        const art::FrameHeader header =
            art::decodeFrameHeader(at(bytes, headersStart + i * art::frameHeaderSize));
        ArtFrame frame;
        frame.width = header.width;
        frame.height = header.height;
        frame.dataSize = header.dataSize;
        frame.centerX = header.centerX;
        frame.centerY = header.centerY;
        frame.dataOffset = dataOffset;
        if (frame.width < 0 || frame.height < 0 || frame.dataSize < 0) {
            error = QStringLiteral("frame %1: negative size %2 x %3, dataSize %4")
                        .arg(i)
                        .arg(frame.width)
                        .arg(frame.height)
                        .arg(frame.dataSize);
            return false;
        }
        const qint64 pixels = qint64(frame.width) * frame.height;
        if (pixels != qint64(frame.dataSize)) {
            error = QStringLiteral("frame %1: dataSize %2 is not width x height = %3 x %4 = %5")
                        .arg(i)
                        .arg(frame.dataSize)
                        .arg(frame.width)
                        .arg(frame.height)
                        .arg(pixels);
            return false;
        }
        dataOffset += pixels;
        if (dataOffset > size) {
            error = QStringLiteral("truncated: the index data of frame %1 ends at byte %2, the file has %3 bytes")
                        .arg(i)
                        .arg(dataOffset)
                        .arg(size);
            return false;
        }
        art.frames.push_back(frame);
    }
    if (dataOffset != size) {
        error = QStringLiteral("%1 extra byte(s) after the index data of the last frame, which ends at byte %2")
                    .arg(size - dataOffset)
                    .arg(dataOffset);
        return false;
    }
    return true;
}

} // namespace

int ArtFile::colorCount() const
{
    for (int i = int(art::paletteEntries) - 1; i >= 0; --i) {
        if (art::get32le(at(palette, qint64(art::paletteEntrySize) * i)) != 0)
            return i + 1;
    }
    return 0;
}

QRgb ArtFile::color(quint8 index) const
{
    const quint8 *entry = at(palette, qint64(art::paletteEntrySize) * index);
    return qRgb(entry[2], entry[1], entry[0]);
}

QImage ArtFile::frameImage(int index, bool transparentZero) const
{
    const ArtFrame &frame = frames.at(size_t(index));
    if (frame.dataSize == 0)
        return QImage();
    QRgb lookup[art::paletteEntries];
    for (int i = 0; i < int(art::paletteEntries); ++i)
        lookup[i] = color(quint8(i));
    if (transparentZero)
        lookup[0] = 0;
    QImage image(frame.width, frame.height, QImage::Format_ARGB32);
    if (image.isNull())
        return image; // more pixels than QImage can hold
    const quint8 *indices = at(bytes, frame.dataOffset);
    for (int y = 0; y < frame.height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const quint8 *in = indices + qint64(y) * frame.width;
        for (int x = 0; x < frame.width; ++x)
            row[x] = lookup[in[x]];
    }
    return image;
}

bool parseArt(const QByteArray &bytes, ArtFile &art, QString &error)
{
    ArtFile parsed;
    if (!parseHeader(bytes, parsed, error) || !parseSlots(bytes, parsed, error)
        || !parsePalettes(bytes, parsed, error) || !parseFrames(bytes, parsed, error)) {
        return false;
    }
    parsed.bytes = bytes;
    art = std::move(parsed);
    return true;
}

bool readArt(QIODevice &device, ArtFile &art, QString &error)
{
    if (!device.isReadable()) {
        error = QStringLiteral("not open for reading");
        return false;
    }
    return parseArt(device.readAll(), art, error);
}

bool readArtFile(const QString &path, ArtFile &art, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    return parseArt(bytes, art, error);
}

} // namespace kestrin
