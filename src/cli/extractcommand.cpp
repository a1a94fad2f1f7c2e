// kestrin-art extract: a sprite file's frames as PNG, one file each or one sheet.
#include "cli/commands.h"

#include "artfile/artreader.h"
#include "fileio/fileidentity.h"
#include "fileio/outputfile.h"
#include "project/filenamerule.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kestrin::cli {

namespace {

/** Extracted frames follow the loader's default naming, with PNG, so that
 *  a build of the output folder with this pattern reads them back. */
const QString kFramePattern = QStringLiteral("camera%1_%2.png");

/** A sheet larger than this many pixels is refused rather than allocated. */
constexpr qint64 kMaxSheetPixels = qint64(1) << 28;
constexpr qint64 kMaxSheetSide = 32767;

/** The most pixels per side that Qt's PNG writer takes: libpng refuses
 *  wider or taller images by default, and Qt only reports that it failed. */
constexpr qint64 kMaxPngSide = 1000000;

bool savePng(const QImage &image, const QString &path, Console &console)
{
    // Encoded in memory first: libpng prints its own line for a device that
    // fails, and a failed write is reported here, with the system's reason.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG")) {
        console.error(path, QStringLiteral("the PNG writer could not encode this %1 x %2 image")
                                .arg(image.width())
                                .arg(image.height()));
        return false;
    }
    // Through a temporary file that replaces an existing PNG only when every
    // byte was written, so a failure leaves the old file as it was.
    const Failure failure = saveFile(path, [&](QIODevice &device) {
        return device.write(png.data()) == png.data().size();
    });
    if (failure)
        console.error(path, failure.reason);
    return !failure;
}

/** Refuses, before anything is written, an output path that is the sprite
 *  file itself under any name (the same name, a hard link or a symbolic
 *  link): writing it would destroy the input. */
bool outputsAvoidInput(const ExtractJob &job, const QStringList &outputs, Console &console)
{
    const std::optional<FileIdentity> input = fileIdentity(job.file);
    if (!input)
        return true;
    for (const QString &path : outputs) {
        if (fileIdentity(path) == input) {
            console.error(path, QStringLiteral("is the sprite file being read (%1); nothing was written, "
                                               "choose another OUTDIR")
                                    .arg(job.file));
            return false;
        }
    }
    return true;
}

/** The sheet is named after the sprite file; one read from standard input
 *  is called "sprite". */
QString sheetBaseName(const QString &file)
{
    return file == QLatin1String("-") ? QStringLiteral("sprite") : QFileInfo(file).completeBaseName();
}

/** Sheet row and column of frame `index`: a row per direction of a
 *  rotatable sprite, one row for a static sprite's single sequence. */
std::pair<qint64, qint64> cellOf(const ArtFile &art, qint64 index)
{
    if (!art.isRotatable())
        return {0, index};
    return {index / art.framesPerDirection, index % art.framesPerDirection};
}

QString framePath(const ArtFile &art, const ExtractJob &job, size_t index)
{
    const auto [row, column] = cellOf(art, qint64(index));
    return QDir(job.outDir).filePath(frameFileName(kFramePattern, quint32(row + 1), 2, quint32(column), 4));
}

int extractFrames(const ArtFile &art, const ExtractJob &job, Console &console)
{
    // Everything that would stop the run is checked before the first file is written.
    QStringList outputs;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        if (f.width > kMaxPngSide || f.height > kMaxPngSide) {
            console.error(job.file, QStringLiteral("frame %1 is %2 x %3 pixels; the PNG writer takes at most %4 "
                                                   "pixels per side")
                                        .arg(i)
                                        .arg(f.width)
                                        .arg(f.height)
                                        .arg(kMaxPngSide));
            return ExitFailure;
        }
        if (f.dataSize != 0)
            outputs.append(framePath(art, job, i));
    }
    if (!outputsAvoidInput(job, outputs, console))
        return ExitFailure;
    int written = 0;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const QString path = framePath(art, job, i);
        const QImage image = art.frameImage(int(i), job.transparentZero);
        if (image.isNull()) {
            if (art.frames[i].dataSize != 0) {
                console.error(job.file, QStringLiteral("frame %1 is too large to draw").arg(i));
                return ExitFailure;
            }
            console.note(QStringLiteral("%1: frame %2 has no pixels, no file written").arg(path, QString::number(i)));
            continue;
        }
        if (!savePng(image, path, console))
            return ExitFailure;
        console.note(path);
        ++written;
    }
    console.note(QStringLiteral("%1 of %2 frames written to %3").arg(written).arg(art.frames.size()).arg(job.outDir));
    return ExitSuccess;
}

/** Every frame in its cell, the cells aligned so that the frames' centres
 *  coincide: the frames sit where they sat in their untrimmed images. */
int extractSheet(const ArtFile &art, const ExtractJob &job, Console &console)
{
    // Anchor = the largest centre; a frame starts at anchor - centre in its cell.
    qint64 anchorX = 0, anchorY = 0;
    bool any = false;
    for (const ArtFrame &f : art.frames) {
        if (f.dataSize == 0)
            continue;
        anchorX = any ? std::max<qint64>(anchorX, f.centerX) : f.centerX;
        anchorY = any ? std::max<qint64>(anchorY, f.centerY) : f.centerY;
        any = true;
    }
    if (!any) {
        console.error(job.file, QStringLiteral("no frame holds any pixels, there is no sheet to draw"));
        return ExitFailure;
    }
    qint64 cellWidth = 0, cellHeight = 0;
    for (const ArtFrame &f : art.frames) {
        if (f.dataSize == 0)
            continue;
        cellWidth = std::max(cellWidth, anchorX - f.centerX + f.width);
        cellHeight = std::max(cellHeight, anchorY - f.centerY + f.height);
    }
    const qint64 columns = art.isRotatable() ? art.framesPerDirection : qint64(art.frames.size());
    // Every factor is bounded before it is multiplied, so nothing overflows.
    if (cellWidth > kMaxSheetSide || cellHeight > kMaxSheetSide || columns > kMaxSheetSide
        || cellWidth * columns > kMaxSheetSide || cellHeight * art.rowCount() > kMaxSheetSide
        || cellWidth * columns * cellHeight * art.rowCount() > kMaxSheetPixels) {
        console.error(job.file, QStringLiteral("a sheet of %1 row(s) of %2 cells of %3 x %4 pixels is more than "
                                               "kestrin-art draws; extract the frames without --sheet (a sheet "
                                               "holds at most %5 pixels, and %6 pixels per side)")
                                    .arg(art.rowCount())
                                    .arg(columns)
                                    .arg(cellWidth)
                                    .arg(cellHeight)
                                    .arg(kMaxSheetPixels)
                                    .arg(kMaxSheetSide));
        return ExitFailure;
    }
    const qint64 width = cellWidth * columns;
    const qint64 height = cellHeight * art.rowCount();
    const QString path = QDir(job.outDir).filePath(sheetBaseName(job.file) + QStringLiteral(".png"));
    if (!outputsAvoidInput(job, {path}, console))
        return ExitFailure;
    QImage sheet(int(width), int(height), QImage::Format_ARGB32);
    if (sheet.isNull()) {
        console.error(job.file, QStringLiteral("not enough memory for a %1 x %2 sheet").arg(width).arg(height));
        return ExitFailure;
    }
    sheet.fill(0); // transparent where no frame lies
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        const QImage image = art.frameImage(int(i), job.transparentZero);
        if (image.isNull())
            continue;
        const auto [row, column] = cellOf(art, qint64(i));
        const qint64 left = column * cellWidth + anchorX - f.centerX;
        const qint64 top = row * cellHeight + anchorY - f.centerY;
        for (int y = 0; y < image.height(); ++y) {
            const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            auto *out = reinterpret_cast<QRgb *>(sheet.scanLine(int(top) + y)) + left;
            std::copy(in, in + image.width(), out);
        }
    }
    if (!savePng(sheet, path, console))
        return ExitFailure;
    console.note(QStringLiteral("%1 (%2 x %3, %4 row(s) of %5 frames)")
                     .arg(path, QString::number(width), QString::number(height), QString::number(art.rowCount()),
                          QString::number(columns)));
    return ExitSuccess;
}

} // namespace

int runExtract(const ExtractJob &job, Console &console)
{
    ArtFile art;
    QString error;
    if (!readArtFile(job.file, art, error)) {
        console.error(job.file, error);
        return ExitFailure;
    }
    if (!QDir().mkpath(job.outDir)) {
        console.error(job.outDir, QStringLiteral("cannot create the folder"));
        return ExitFailure;
    }
    return job.sheet ? extractSheet(art, job, console) : extractFrames(art, job, console);
}

} // namespace kestrin::cli
