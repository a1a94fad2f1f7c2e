#include "artfile/artreader.h"

#include "artfile/artformat.h"
#include "fileio/failure.h"

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

/** The bytes of a file as far as the checks have needed them: all of a file
 *  held in memory, or what has been taken so far from a device. A device is
 *  never read past the end that the headers declare (plus one byte, to
 *  notice trailing data), and the buffer grows only with bytes that arrived,
 *  so an endless or enormous input costs no more than its declared part. */
class Input
{
public:
    explicit Input(const QByteArray &bytes) : m_bytes(bytes), m_length(bytes.size()) {}
    explicit Input(QIODevice &device) : m_device(&device)
    {
        if (!device.isSequential()) // a file: its length is known before reading
            m_length = qMax<qint64>(0, device.size() - device.pos());
    }

    enum Result {
        Available, // the bytes are there
        Short,     // the input ends before them; length() is now known
        Failed,    // `error` says why
    };

    /** Makes the first `end` bytes available. */
    Result need(qint64 end, QString &error)
    {
        if (end <= m_bytes.size())
            return Available;
        if (m_length >= 0 && end > m_length)
            return Short;
        if (end > qint64(art::kMaxFileSize)) {
            error = QStringLiteral("the headers describe at least %1 bytes, more than the %2 bytes a sprite file "
                                   "can hold")
                        .arg(end)
                        .arg(art::kMaxFileSize);
            return Failed;
        }
        while (m_bytes.size() < end) {
            const qint64 have = m_bytes.size();
            const qint64 want = qMin(end - have, kChunk);
            if (m_bytes.capacity() < have + want) // doubling, but never past `end`
                m_bytes.reserve(qMin(end, qMax(have + want, 2 * qint64(m_bytes.capacity()))));
            m_bytes.resize(have + want);
            const qint64 got = read(m_bytes.data() + have, want);
            m_bytes.resize(have + qMax<qint64>(got, 0));
            if (got < 0) {
                error = m_device->errorString();
                m_readFailed = true;
                return Failed;
            }
            if (got == 0) {
                m_length = m_bytes.size();
                return Short;
            }
        }
        return Available;
    }

    /** How many bytes follow the first `end`, all of which are available:
     *  exact when the length is known, else 0 or -1 (at least one) from
     *  reading a single byte. */
    Result countAfter(qint64 end, qint64 &count, QString &error)
    {
        if (m_length >= 0) {
            count = m_length - end;
            return Available;
        }
        char byte = 0;
        const qint64 got = read(&byte, 1);
        if (got < 0) {
            error = m_device->errorString();
            m_readFailed = true;
            return Failed;
        }
        count = got == 0 ? 0 : -1;
        if (got == 0)
            m_length = end;
        return Available;
    }

    /** The input's length in bytes; -1 while a stream has not ended. */
    qint64 length() const { return m_length; }
    /** True once the device refused a read (its errorString() is the error). */
    bool readFailed() const { return m_readFailed; }
    const QByteArray &bytes() const { return m_bytes; }

private:
    qint64 read(char *data, qint64 max)
    {
        qint64 got = m_device->read(data, max);
        // A device that reads ahead asynchronously says 0 until data arrives.
        while (got == 0 && m_device->waitForReadyRead(-1))
            got = m_device->read(data, max);
        return got;
    }

    static constexpr qint64 kChunk = qint64(1) << 20;

    QIODevice *m_device = nullptr;
    QByteArray m_bytes;
    qint64 m_length = -1;
    bool m_readFailed = false;
};

/** Header fields, checked as far as the header alone allows. */
bool parseHeader(Input &input, ArtFile &art, QString &error)
{
    const Input::Result result = input.need(art::kHeaderSize, error);
    if (result == Input::Short) {
        error = QStringLiteral("file too short for the header: %1 bytes, the header alone takes %2")
                    .arg(input.length())
                    .arg(art::kHeaderSize);
    }
    if (result != Input::Available)
        return false;
    const art::Header header = art::decodeHeader(at(input.bytes(), 0));
    art.staticFlag = quint32(header.staticFlag);
    art.rate = header.rate;
    art.directionCount = quint32(header.directionCount);
    art.hitFrame = header.actionFrame;
    // Read unsigned: no file can hold 2^31 frames, and the count is checked
    // against the file length before it is used.
    art.framesPerDirection = quint32(header.framesPerDirection);
    if (art.staticFlag > 1) {
        error = QStringLiteral("unknown sprite type flag %1 at offset %2 (1 static, 0 rotatable)")
                    .arg(art.staticFlag)
                    .arg(art::kStaticFlagOffset);
        return false;
    }
    if (art.directionCount != quint32(art::kDirectionCount)) {
        error = QStringLiteral("direction count is %1, must be %2").arg(art.directionCount).arg(art::kDirectionCount);
        return false;
    }
    return true;
}

/** The palette slots of the header: slots 0 .. P-1 non-zero, the others zero. */
bool parseSlots(const QByteArray &bytes, ArtFile &art, QString &error)
{
    quint32 count = 0;
    for (quint32 slot = 0; slot < art::kMaxPaletteCount; ++slot) {
        const quint32 value = art::get32le(at(bytes, art::kPaletteSlotsOffset + art::kPaletteSlotSize * slot));
        if (value != 0 && count != slot) {
            error = QStringLiteral("palette slot %1 is set although slot %2 is zero").arg(slot).arg(count);
            return false;
        }
        if (value != 0)
            ++count;
    }
    if (count == 0) {
        error = QStringLiteral("no palette slot is set: a file holds %1 to %2 palettes")
                    .arg(art::kMinPaletteCount)
                    .arg(art::kMaxPaletteCount);
        return false;
    }
    art.paletteCount = count;
    art.signature = bytes.mid(art::kPaletteSlotsOffset, art::kPaletteSlotSize * count);
    return true;
}

/** P complete palettes, all equal to the first. */
bool parsePalettes(Input &input, ArtFile &art, QString &error)
{
    const qint64 end = qint64(art::frameHeadersOffset(art.paletteCount));
    const Input::Result result = input.need(end, error);
    if (result == Input::Short) {
        error = QStringLiteral("truncated: the %1 palettes end at byte %2, the file has %3 bytes")
                    .arg(art.paletteCount)
                    .arg(end)
                    .arg(input.length());
    }
    if (result != Input::Available)
        return false;
    const quint8 *first = at(input.bytes(), art::kPaletteOffset);
    for (quint32 p = 1; p < art.paletteCount; ++p) {
        if (std::memcmp(first, first + qint64(art::kPaletteSize) * p, art::kPaletteSize) != 0) {
            error = QStringLiteral("palette %1 differs from palette 0").arg(p);
            return false;
        }
    }
    art.palette = input.bytes().mid(art::kPaletteOffset, art::kPaletteSize);
    return true;
}

QString truncatedFrameData(qint64 frame, qint64 end, qint64 length)
{
    return QStringLiteral("truncated: the index data of frame %1 ends at byte %2, the file has %3 bytes")
        .arg(frame)
        .arg(end)
        .arg(length);
}

/** The index data of every frame, which must end exactly at the end of the
 *  input. */
bool parseFrameData(Input &input, ArtFile &art, qint64 dataEnd, QString &error)
{
    // A file's length is known: trailing bytes are refused before its data is read.
    if (input.length() > dataEnd) {
        error = QStringLiteral("%1 extra byte(s) after the index data of the last frame, which ends at byte %2")
                    .arg(input.length() - dataEnd)
                    .arg(dataEnd);
        return false;
    }
    const Input::Result result = input.need(dataEnd, error);
    if (result == Input::Short) { // a stream that ended early, or a file that shrank
        for (size_t i = 0; i < art.frames.size(); ++i) {
            const ArtFrame &frame = art.frames[i];
            if (frame.dataOffset + frame.dataSize > input.length()) {
                error = truncatedFrameData(qint64(i), frame.dataOffset + frame.dataSize, input.length());
                break;
            }
        }
    }
    if (result != Input::Available)
        return false;
    qint64 extra = 0;
    if (input.countAfter(dataEnd, extra, error) != Input::Available)
        return false;
    if (extra < 0) {
        error = QStringLiteral("extra byte(s) after the index data of the last frame, which ends at byte %1")
                    .arg(dataEnd);
        return false;
    }
    if (extra > 0) {
        error = QStringLiteral("%1 extra byte(s) after the index data of the last frame, which ends at byte %2")
                    .arg(extra)
                    .arg(dataEnd);
        return false;
    }
    return true;
}

/** The frame headers, then the index data. */
bool parseFrames(Input &input, ArtFile &art, QString &error)
{
    const qint64 count
        = art.isRotatable() ? qint64(art::kDirectionCount) * art.framesPerDirection : qint64(art.framesPerDirection);
    const qint64 headersStart = qint64(art::frameHeadersOffset(art.paletteCount));
    const qint64 headersEnd = qint64(art::indexDataOffset(art.paletteCount, quint64(count)));
    const Input::Result result = input.need(headersEnd, error);
    if (result == Input::Short) {
        error = QStringLiteral("truncated: %1 frame headers (%2 frames per direction, %3) end at byte %4, "
                               "the file has %5 bytes")
                    .arg(count)
                    .arg(art.framesPerDirection)
                    .arg(art.isRotatable() ? QStringLiteral("rotatable") : QStringLiteral("static"))
                    .arg(headersEnd)
                    .arg(input.length());
    }
    if (result != Input::Available)
        return false;
    // The headers have arrived, so the count is bounded by real bytes.
    art.frames.clear();
    art.frames.reserve(size_t(count));
    qint64 dataOffset = headersEnd;
    for (qint64 i = 0; i < count; ++i) {
        const art::FrameHeader header
            = art::decodeFrameHeader(at(input.bytes(), headersStart + i * art::kFrameHeaderSize));
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
        if (input.length() >= 0 && dataOffset > input.length()) {
            error = truncatedFrameData(i, dataOffset, input.length());
            return false;
        }
        art.frames.push_back(frame);
    }
    return parseFrameData(input, art, dataOffset, error);
}

/** Reads and checks everything `input` holds, in file order. */
bool parse(Input &input, ArtFile &art, QString &error)
{
    ArtFile parsed;
    if (!parseHeader(input, parsed, error) || !parseSlots(input.bytes(), parsed, error)
        || !parsePalettes(input, parsed, error) || !parseFrames(input, parsed, error)) {
        return false;
    }
    parsed.bytes = input.bytes();
    art = std::move(parsed);
    return true;
}

} // namespace

int ArtFile::colorCount() const
{
    for (int i = int(art::kPaletteEntries) - 1; i >= 0; --i) {
        if (art::get32le(at(palette, qint64(art::kPaletteEntrySize) * i)) != 0)
            return i + 1;
    }
    return 0;
}

QRgb ArtFile::color(quint8 index) const
{
    const quint8 *entry = at(palette, qint64(art::kPaletteEntrySize) * index);
    return qRgb(entry[2], entry[1], entry[0]);
}

QVector<QRgb> ArtFile::colorTable(bool transparentZero) const
{
    QVector<QRgb> table(art::kPaletteEntries, QRgb(0));
    for (int i = 0; i < table.size(); ++i)
        table[i] = color(quint8(i));
    if (transparentZero)
        table[0] &= 0x00ffffff;
    return table;
}

const quint8 *ArtFile::frameIndices(int index) const
{
    return at(bytes, frames.at(size_t(index)).dataOffset);
}

Failure parseArt(const QByteArray &bytes, ArtFile &art)
{
    Input input(bytes);
    QString error;
    if (parse(input, art, error))
        return Failure();
    return Failure::of(FailureKind(kestrin::FileFailure::MalformedFile), QString(), error);
}

Failure readArt(QIODevice &device, ArtFile &art)
{
    if (!device.isReadable())
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), QString(),
                           QStringLiteral("not open for reading"));
    Input input(device);
    QString error;
    if (parse(input, art, error))
        return Failure();
    return Failure::of(input.readFailed() ? FailureKind(kestrin::FileFailure::CannotReadFile)
                                          : FailureKind(kestrin::FileFailure::MalformedFile),
                       QString(), error);
}

} // namespace kestrin
