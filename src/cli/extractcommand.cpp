// kestrin-art extract: a sprite file's frames as PNG, one file each or one sheet.
#include "cli/commands.h"

#include "artfile/artreader.h"
#include "project/filenamerule.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace kestrin::cli {

namespace {

/** Extracted frames follow the loader's default naming, with PNG, so that
 *  a build of the output folder with this pattern reads them back. */
const QString kFramePattern = QStringLiteral("camera%1_%2.png");

/** A sheet larger than this many pixels is refused rather than allocated. */
constexpr qint64 kMaxSheetPixels = qint64(1) << 28;
constexpr qint64 kMaxSheetSide = 32767;

bool savePng(const QImage &image, const QString &path, Console &console)
{
    // Written through a temporary file, so a failure never leaves half a PNG
    // in place of an existing one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        console.error(path, QStringLiteral("cannot write: ") + file.errorString());
        return false;
    }
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        console.error(path, QStringLiteral("cannot write the PNG data: ") + file.errorString());
        return false;
    }
    if (!file.commit()) {
        console.error(path, QStringLiteral("cannot write: ") + file.errorString());
        return false;
    }
    return true;
}

/** Sheet row and column of frame `index`: a row per direction of a
 *  rotatable sprite, one row for a static sprite's single sequence. */
std::pair<qint64, qint64> cellOf(const ArtFile &art, qint64 index)
{
    if (!art.isRotatable())
        return {0, index};
    return {index / art.framesPerDirection, index % art.framesPerDirection};
}

int extractFrames(const ArtFile &art, const ExtractJob &job, Console &console)
{
    const QDir dir(job.outDir);
    int written = 0;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const auto [row, column] = cellOf(art, qint64(i));
        const QString path = dir.filePath(frameFileName(kFramePattern, quint32(row + 1), 2, quint32(column), 4));
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
                                               "kestrin-art draws; extract the frames without --sheet")
                                    .arg(art.rowCount())
                                    .arg(columns)
                                    .arg(cellWidth)
                                    .arg(cellHeight));
        return ExitFailure;
    }
    const qint64 width = cellWidth * columns;
    const qint64 height = cellHeight * art.rowCount();
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
    const QString path = QDir(job.outDir).filePath(QFileInfo(job.file).completeBaseName() + QStringLiteral(".png"));
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
