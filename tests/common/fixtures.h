#pragma once

// Helpers every suite shares: pixels and frames made in code, projects of
// flat frames, and files written and read back.

#include "artfile/artformat.h"
#include "fileio/failure.h"
#include "generate/artwriter.h"
#include "generate/generation.h"
#include "project/project.h"
#include "wording/failuretext.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace fixture {

/** True when `failure` is no failure; otherwise false, with its reason in
 *  `error` for the test's message. */
inline bool succeeded(const kestrin::Failure &failure, QString &error)
{
    error = failure.reason;
    return !failure;
}

/** A 32-bit ARGB pixel from its channels. */
inline quint32 bgr(int blue, int green, int red, int alpha = 255)
{
    return quint32(alpha) << 24 | quint32(red) << 16 | quint32(green) << 8 | quint32(blue);
}

/** A width x height ARGB32 image whose pixel (x, y) is pixel(x, y). */
inline QImage image(int width, int height, const std::function<quint32(int, int)> &pixel)
{
    QImage img(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = pixel(x, y);
    }
    return img;
}

inline QImage flat(int width, int height, quint32 colour)
{
    return image(width, height, [=](int, int) { return colour; });
}

/** Appends an untrimmed frame showing `img`. */
inline kestrin::Frame *addFrame(kestrin::Stage *stage, const QImage &img)
{
    kestrin::Frame *frame = stage->appendFrame();
    frame->sourceImage = img;
    frame->workImage = img;
    return frame;
}

/** Appends `stages` stages of `frames` flat frames of width x height, each of its own colour. */
inline void fill(kestrin::Project &project, int stages, int frames, int width = 3, int height = 2)
{
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f)
            addFrame(stage, flat(width, height, bgr(s * 20, f * 40, 100)));
    }
}

/** A frame as renderers write them, made to break the rules of index 0:
 *  an off-centre body of graded colours (many more than 256 over a few
 *  frames) with a one-pixel outline of opaque black, anti-aliased edge
 *  pixels of partial alpha, fully transparent pixels that still hold
 *  leftover colours, transparent black in the top-left corner (the colour
 *  of the outline) and a few pixels of pure magenta (the key) on the
 *  right. `seed` varies the colours. */
inline QImage spriteFrame(int width, int height, int seed)
{
    return image(width, height, [=](int x, int y) -> quint32 {
        const int cx = width * 2 / 5, cy = height / 2;
        const int dx = x - cx, dy = y - cy;
        const int r2 = dx * dx * 4 + dy * dy * 9, edge = width * width;
        if (x == width - 1 && y % 3 == 0)
            return bgr(255, 0, 255); // the key colour
        if (r2 < edge * 3 / 4)
            return bgr((x * 37 + seed * 11) & 0xff, (y * 23 + x * 5 + seed * 7) & 0xff, (120 + x * y + seed) & 0xff);
        if (r2 < edge)
            return bgr(0, 0, 0); // the outline
        if (r2 < edge * 5 / 4)
            return bgr(200, 60 + seed, 30, 60 + 40 * ((x + y) % 4)); // anti-aliased edge: alpha 60..180
        if (x + y < 3)
            return bgr(0, 0, 0, 0); // transparent black
        return bgr((x * 9 + seed) & 0xff, 128, (y * 13) & 0xff, 0); // leftover colour
    });
}

/** Field readers for ".art" bytes. */
inline qint32 field(const QByteArray &file, quint64 offset)
{
    return qint32(kestrin::art::get32le(reinterpret_cast<const quint8 *>(file.constData()) + offset));
}

inline kestrin::art::Header header(const QByteArray &file)
{
    return kestrin::art::decodeHeader(reinterpret_cast<const quint8 *>(file.constData()));
}

inline kestrin::art::FrameHeader frameHeader(const QByteArray &file, quint32 paletteCount, quint32 i)
{
    return kestrin::art::decodeFrameHeader(reinterpret_cast<const quint8 *>(file.constData())
                                           + kestrin::art::frameHeadersOffset(paletteCount)
                                           + kestrin::art::kFrameHeaderSize * i);
}

/** Palette entry i of the first palette as 0x00RRGGBB. */
inline quint32 entry(const QByteArray &file, int i)
{
    return kestrin::art::get32le(reinterpret_cast<const quint8 *>(file.constData()) + kestrin::art::kPaletteOffset
                                 + kestrin::art::kPaletteEntrySize * quint32(i));
}

/** The index bytes of a file: everything after its frame headers. */
inline QByteArray indexBytes(const QByteArray &file, quint32 paletteCount, quint64 frameCount)
{
    return file.mid(qsizetype(kestrin::art::indexDataOffset(paletteCount, frameCount)));
}

/** The file the writer makes of `project`, or "failed: KIND: message". */
inline QByteArray artBytes(const kestrin::Project &project, const kestrin::GenerationSettings &settings)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (const kestrin::Failure failure = kestrin::writeArt(buffer, project, settings))
        return "failed: " + kestrin::failureKindName(failure.kind).toUtf8() + ": "
            + kestrin::describeFailure(failure).toUtf8();
    return bytes;
}

/** The whole file, or an empty array when it cannot be read. */
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** The 54 header bytes of a 24-bit BMP of `width` x `height` pixels,
 *  without the pixels: enough for a reader to tell its size. */
inline QByteArray bmpHeader(quint32 width, quint32 height)
{
    QByteArray bmp(54, '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bmp[26] = 1;
    bmp[28] = 24;
    return bmp;
}

/** What a child process printed, and its exit code. */
struct ProcessRun {
    int exitCode = -1; // -1 when the process crashed or did not finish
    QString out;
    QString err;
};

/** Waits up to `msecs` for the started `process` and collects what it
 *  printed; one that does not finish in time is killed. */
inline ProcessRun finish(QProcess &process, int msecs)
{
    ProcessRun result;
    if (!process.waitForFinished(msecs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

/** Writes `bytes` as the whole file, creating its folder. */
inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

/** Copies the folder `from` with everything in it to `to` (created). */
inline bool copyFolder(const QString &from, const QString &to)
{
    const QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

/** Saves `img` in the format its suffix names, creating its folder. */
inline bool writeImage(const QString &path, const QImage &img)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return img.save(path);
}

/** The messages of the log lines written to "debug.txt" in the working
 *  folder since the last call (the file is removed). */
inline QStringList takeLog()
{
    QFile file(QStringLiteral("debug.txt"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                lines << QString::fromLatin1(line.mid(line.indexOf("):") + 2));
        }
        file.remove();
    }
    return lines;
}

/** A sprite file of `stages` stages x 2 frames (10 x 10, 4 x 6, 3 x 1,
 *  5 x 2, in turn) written with `paletteCount` palettes at 12 frames a
 *  second; its frame headers start at 132 + 1024 * `paletteCount` and its
 *  index data 28 bytes per frame later. */
inline QByteArray smallSprite(quint32 paletteCount, quint32 rotatable = 0, int stages = 2)
{
    kestrin::Project project;
    const int sizes[][2] = {{10, 10}, {4, 6}, {3, 1}, {5, 2}};
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < 2; ++f) {
            const auto *size = sizes[(s * 2 + f) % 4];
            const auto pixel = [=](int x, int y) { return bgr(x * 20, y * 30, s * 90 + f * 40); };
            addFrame(stage, image(size[0], size[1], pixel));
        }
    }
    kestrin::GenerationSettings settings;
    settings.paletteCount = paletteCount;
    settings.rotatable = rotatable;
    settings.frameRate = 12;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (const kestrin::Failure failure = kestrin::writeArt(buffer, project, settings))
        qWarning("%s", qPrintable(failure.reason));
    return buffer.data();
}

} // namespace fixture

namespace kestrin {
/** Failure kinds by name in test messages (found by QCOMPARE through ADL). */
inline char *toString(FailureKind kind)
{
    return qstrdup(qPrintable(failureKindName(kind)));
}
} // namespace kestrin
