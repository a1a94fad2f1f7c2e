#include "palettes/palettefile.h"

#include "artfile/artreader.h"
#include "fileio/failure.h"
#include "palettes/palettefailure.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {

namespace {

constexpr int kMaxEntries = 256;
constexpr qint64 kColorTableBytes = 768;          // 256 x red, green, blue
constexpr qint64 kColorTableWithCountBytes = 772; // + count and transparent index, big-endian 16 bits each

Failure lineError(const QString &path, int line, const QString &reason)
{
    Failure failure = Failure::of(FailureKind(kestrin::PaletteFailure::PaletteLineError), path, reason);
    failure.found = line;
    return failure;
}

Failure byteError(const QString &path, qint64 offset, const QString &reason)
{
    Failure failure = Failure::of(FailureKind(kestrin::PaletteFailure::PaletteByteError), path, reason);
    failure.found = offset;
    return failure;
}

Failure countFailure(FailureKind kind, const QString &path, qint64 found, qint64 expected)
{
    Failure failure = Failure::of(kind, path);
    failure.found = found;
    failure.expected = expected;
    return failure;
}

void setEntry(PaletteFile &palette, int index, int red, int green, int blue)
{
    quint8 *e = palette.entries + 4 * index;
    e[0] = quint8(blue);
    e[1] = quint8(green);
    e[2] = quint8(red);
    e[3] = 0;
}

/** The lines of a text file without their line ends (LF or CR LF) and
 *  without a leading UTF-8 byte order mark. */
QList<QByteArray> textLines(const QByteArray &bytes)
{
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line end
    return lines;
}

/** Reads red, green and blue, each a whole number 0..255, from the first
 *  three words of `line`. With `exact`, nothing may follow them. Returns an
 *  empty string on success, else what is wrong. */
QString readColor(const QByteArray &line, bool exact, int rgb[3])
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QString shown = QString::fromUtf8(line.trimmed().left(60));
    if (words.size() < 3 || (exact && words.size() != 3))
        return QStringLiteral("\"%1\" is not a colour: expected red, green and blue, each 0 to 255").arg(shown);
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        const int value = words[k].toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return QStringLiteral("\"%1\" is not a colour value from 0 to 255")
                .arg(QString::fromUtf8(words[k].left(20)));
        rgb[k] = value;
    }
    return QString();
}

// "GIMP Palette", then in any order: empty lines, "# comments", the header
// lines "Name:" and "Columns:", and colour lines "R G B" with an optional name.
Failure parseGimp(const QByteArray &bytes, const QString &path, PaletteFile &palette)
{
    const QList<QByteArray> lines = textLines(bytes);
    if (lines.isEmpty() || lines[0].trimmed() != "GIMP Palette")
        return lineError(path, 1, QStringLiteral("a GIMP palette starts with the line \"GIMP Palette\""));
    int count = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith("Name:") || line.startsWith("Columns:"))
            continue;
        int rgb[3];
        const QString problem = readColor(line, false, rgb);
        if (!problem.isEmpty())
            return lineError(path, i + 1, problem);
        if (count < kMaxEntries)
            setEntry(palette, count, rgb[0], rgb[1], rgb[2]);
        ++count; // counted on past 256 to say how many there are
    }
    if (count > kMaxEntries)
        return countFailure(FailureKind(kestrin::PaletteFailure::PaletteTooLarge), path, count, kMaxEntries);
    palette.count = count;
    return Failure();
}

// "JASC-PAL", "0100", the entry count, then exactly that many lines "R G B".
// Empty lines are passed over.
Failure parseJasc(const QByteArray &bytes, const QString &path, PaletteFile &palette)
{
    if (bytes.startsWith("RIFF"))
        return lineError(path, 1, QStringLiteral("a RIFF palette; a .pal palette must be a JASC-PAL text file"));
    const QList<QByteArray> lines = textLines(bytes);
    if (lines.isEmpty() || lines[0].trimmed() != "JASC-PAL")
        return lineError(path, 1, QStringLiteral("a JASC palette starts with the line \"JASC-PAL\""));
    if (lines.size() < 2 || lines[1].trimmed() != "0100")
        return lineError(path, 2, QStringLiteral("expected the version line \"0100\""));
    if (lines.size() < 3)
        return lineError(path, 3, QStringLiteral("the file ends before the colour count"));
    bool ok = false;
    const qint64 announced = lines[2].trimmed().toLongLong(&ok, 10);
    if (!ok || announced < 0) {
        const QString shown = QString::fromUtf8(lines[2].trimmed().left(20));
        return lineError(path, 3, QStringLiteral("\"%1\" is not a colour count").arg(shown));
    }
    if (announced > kMaxEntries)
        return countFailure(FailureKind(kestrin::PaletteFailure::PaletteTooLarge), path, announced, kMaxEntries);
    if (announced == 0)
        return countFailure(FailureKind(kestrin::PaletteFailure::PaletteTooSmall), path, 0, 1);
    int count = 0;
    for (int i = 3; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        if (count == announced)
            return lineError(path, i + 1, QStringLiteral("more colours than the %1 of line 3").arg(announced));
        int rgb[3];
        const QString problem = readColor(line, true, rgb);
        if (!problem.isEmpty())
            return lineError(path, i + 1, problem);
        setEntry(palette, count++, rgb[0], rgb[1], rgb[2]);
    }
    if (count < announced)
        return lineError(
            path, int(lines.size()) + 1,
            QStringLiteral("the file ends after %1 of the %2 colours of line 3").arg(count).arg(announced));
    palette.count = count;
    return Failure();
}

// 256 x (red, green, blue); in the longer form followed by the number of
// entries in use and a transparent index (0xFFFF for none), both big-endian.
// The transparent index is not used.
Failure parseColorTable(const QByteArray &bytes, const QString &path, PaletteFile &palette)
{
    const qint64 size = bytes.size();
    if (size != kColorTableBytes && size != kColorTableWithCountBytes) {
        return byteError(path, std::min(size, kColorTableBytes),
                         QStringLiteral("a colour table is 768 or 772 bytes long; this file has %1").arg(size));
    }
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    int count = kMaxEntries;
    if (size == kColorTableWithCountBytes) {
        count = (b[768] << 8) | b[769];
        if (count > kMaxEntries)
            return countFailure(FailureKind(kestrin::PaletteFailure::PaletteTooLarge), path, count, kMaxEntries);
        if (count == 0)
            return byteError(path, 768, QStringLiteral("the colour count is 0"));
    }
    for (int i = 0; i < count; ++i)
        setEntry(palette, i, b[3 * i], b[3 * i + 1], b[3 * i + 2]);
    palette.count = count;
    return Failure();
}

Failure parseArtPalette(const QByteArray &bytes, const QString &path, PaletteFile &palette)
{
    ArtFile art;
    if (const Failure failure = parseArt(bytes, art))
        return byteError(path, -1, failure.reason);
    const auto *p = reinterpret_cast<const quint8 *>(art.palette.constData());
    for (int i = 0; i < kMaxEntries; ++i)
        setEntry(palette, i, p[4 * i + 2], p[4 * i + 1], p[4 * i]);
    palette.count = kMaxEntries;
    return Failure();
}

} // namespace

std::optional<PaletteFormat> paletteFormatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("gpl"))
        return PaletteFormat::Gimp;
    if (suffix == QLatin1String("pal"))
        return PaletteFormat::Jasc;
    if (suffix == QLatin1String("act"))
        return PaletteFormat::ColorTable;
    if (suffix == QLatin1String("art"))
        return PaletteFormat::Art;
    return std::nullopt;
}

Failure parsePalette(PaletteFormat format, const QByteArray &bytes, const QString &path, PaletteFile *out)
{
    PaletteFile palette;
    Failure failure;
    switch (format) {
    case PaletteFormat::Gimp:
        failure = parseGimp(bytes, path, palette);
        break;
    case PaletteFormat::Jasc:
        failure = parseJasc(bytes, path, palette);
        break;
    case PaletteFormat::ColorTable:
        failure = parseColorTable(bytes, path, palette);
        break;
    case PaletteFormat::Art:
        failure = parseArtPalette(bytes, path, palette);
        break;
    }
    if (!failure && palette.count == 0)
        failure = countFailure(FailureKind(kestrin::PaletteFailure::PaletteTooSmall), path, 0, 1);
    if (!failure)
        *out = palette;
    return failure;
}

namespace {

/** Up to `limit` bytes of `file`, read until its end: a pipe gives its
 *  bytes in pieces. */
QByteArray readUpTo(QFile &file, qint64 limit)
{
    QByteArray bytes;
    while (bytes.size() < limit) {
        const QByteArray piece = file.read(std::min<qint64>(limit - bytes.size(), 1 << 16));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    return bytes;
}

/** Opens `path` for reading without waiting: a FIFO that no one writes
 *  reads as empty instead of holding the job. -1 with errno on failure. */
int openWithoutWaiting(const QString &path)
{
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat status {
    };
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    // Reads wait for data again, but a FIFO without a writer is at its end.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

Failure readPaletteFile(const QString &path, PaletteFile *out)
{
    const std::optional<PaletteFormat> format = paletteFormatOf(path);
    if (!format)
        return Failure::of(FailureKind(kestrin::PaletteFailure::UnknownPaletteFormat), path, QFileInfo(path).suffix());
    const int fd = openWithoutWaiting(path);
    if (fd < 0)
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path,
                           QString::fromStdString(std::generic_category().message(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString());
    }
    // A sprite file is read only as far as its headers declare, and checked
    // as it is read, so an endless or enormous input fails early. Other
    // palettes are small: one byte more than the largest accepted size is
    // read, so that a longer file is recognised without reading all of it.
    if (*format == PaletteFormat::Art) {
        ArtFile art;
        if (const Failure failure = readArt(file, art))
            return file.error() != QFileDevice::NoError
                ? Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString())
                : byteError(path, -1, failure.reason);
        return parsePalette(*format, art.bytes, path, out);
    }
    const qint64 limit = *format == PaletteFormat::ColorTable ? kColorTableWithCountBytes : kMaxTextPaletteBytes;
    const QByteArray bytes = readUpTo(file, limit + 1);
    if (file.error() != QFileDevice::NoError)
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString());
    if (bytes.size() > limit) {
        return byteError(path, limit,
                         *format == PaletteFormat::ColorTable
                             ? QStringLiteral("a colour table is 768 or 772 bytes long; this file is longer")
                             : QStringLiteral("longer than any palette of 256 colours"));
    }
    return parsePalette(*format, bytes, path, out);
}

} // namespace kestrin
