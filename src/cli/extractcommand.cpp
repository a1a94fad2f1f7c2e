// kestrin-art extract: a sprite file's frames as PNG (one file each, or
// one sheet) or as animated GIFs.
#include "cli/commands.h"

#include "artfile/artformat.h"
#include "artfile/artreader.h"
#include "artfile/sheetlayout.h"
#include "cli/artfileopen.h"
#include "cli/artimage.h"
#include "cli/artjson.h"
#include "fileio/fileidentity.h"
#include "fileio/outputfile.h"
#include "generate/projectfile.h"
#include "giffile/gifwriter.h"
#include "project/filenamerule.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace kestrin::cli {
namespace {

/** Extracted frames follow the loader's default naming, with PNG, so that
 *  a build of the output folder with this pattern reads them back. */
const QString kFramePattern = QStringLiteral("camera%1_%2.png");

/** The most pixels per side that Qt's PNG writer takes: libpng refuses
 *  wider or taller images by default, and Qt only reports that it failed. */
constexpr qint64 kMaxPngSide = 1000000;

/** The files one extract writes. Each takes its place as soon as it is
 *  complete, keeping the file it replaced, so that when a later one fails
 *  every earlier one can be taken back: a failed extract leaves the folder
 *  as it was, where the file system allows. */
class OutputBatch
{
public:
    /** Writes `bytes` as the file `path`; false after naming the failure. */
    bool write(const QString &path, const QByteArray &bytes, Console &console)
    {
        auto file = std::make_unique<OutputFile>(path);
        if (!(file->open() && file->write(bytes) && file->commitKeepingOld())) {
            console.error(path, file->failure().reason);
            return false;
        }
        m_files.push_back(std::move(file));
        return true;
    }

    /** Puts back what every file written held before, newest first, naming
     *  those that cannot be. */
    void rollBack(Console &console)
    {
        for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
            if (!(*it)->restore())
                console.error((*it)->path(), QStringLiteral("was written and could not be put back as it was"));
        }
        m_files.clear();
    }

private:
    std::vector<std::unique_ptr<OutputFile>> m_files;
};

bool savePng(const QImage &image, const QString &path, OutputBatch &batch, Console &console)
{
    // Encoded in memory first: libpng prints its own line for a device that
    // fails, and a failed write is reported here, with the system's reason.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG")) {
        console.error(path,
                      QStringLiteral("the PNG writer could not encode this %1 x %2 image")
                          .arg(image.width())
                          .arg(image.height()));
        return false;
    }
    // Through a temporary file that replaces an existing PNG only when every
    // byte was written, so a failure leaves the old file as it was.
    return batch.write(path, png.data(), console);
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
            console.error(path,
                          QStringLiteral("is the sprite file being read (%1); nothing was written, "
                                         "choose another OUTDIR")
                              .arg(job.file));
            return false;
        }
    }
    return true;
}

/** Sheets, animations and the frames' JSON are named after the sprite file;
 *  one read from standard input is called "sprite". */
QString baseName(const QString &file)
{
    return file == QLatin1String("-") ? QStringLiteral("sprite") : QFileInfo(file).completeBaseName();
}

/** The name of frame `index`'s PNG: its direction (from 01) and its place
 *  in the direction (from 0000), a static sprite's sequence being direction 01. */
QString frameName(const ArtFile &art, size_t index)
{
    const art::FramePlace place = art::framePlace(art.isRotatable(), art.framesPerDirection, index);
    return frameFileName(kFramePattern, quint32(place.direction + 1), 2, quint32(place.frame), 4);
}

QString framePath(const ArtFile &art, const ExtractJob &job, size_t index)
{
    return QDir(job.outDir).filePath(frameName(art, index));
}

/** What a round trip through the frame files would lose: the file's header
 *  fields, palette, and every frame's size and centre, with the name of its
 *  PNG ("file", absent for a frame without pixels, which has none). */
QByteArray framesJson(const ArtFile &art, const ExtractJob &job)
{
    QJsonObject json = artJson(job.file, art);
    QJsonArray frames = json.value(QStringLiteral("frames")).toArray();
    for (int i = 0; i < frames.size(); ++i) {
        if (art.frames[size_t(i)].dataSize == 0)
            continue;
        QJsonObject frame = frames.at(i).toObject();
        frame.insert(QStringLiteral("file"), frameName(art, size_t(i)));
        frames.replace(i, frame);
    }
    json.insert(QStringLiteral("frames"), frames);
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

/** The sprite's palette as a GIMP palette of all 256 entries in the file's
 *  order: used as a build's fixed palette, every colour keeps its index. */
QByteArray gimpPalette(const ArtFile &art, const QString &name)
{
    QByteArray text = "GIMP Palette\nName: " + name.toUtf8() + "\nColumns: 16\n# index: the sprite's palette index\n";
    for (int i = 0; i < 256; ++i) {
        const QRgb c = art.color(quint8(i));
        text += QByteArray::number(qRed(c)) + ' ' + QByteArray::number(qGreen(c)) + ' ' + QByteArray::number(qBlue(c))
            + "\tindex " + QByteArray::number(i) + '\n';
    }
    return text;
}

/** The project that builds the extracted frames back into the same bytes:
 *  the frames one by one with their centres (a frame without pixels has no
 *  file), the sprite's type, rate, hit frame and palette count, and the
 *  palette file `palettePath` as its fixed palette. Header values that no
 *  build can write (a rate outside 1..99, a hit frame outside 1..99 that is
 *  not the last frame) fall back to the defaults and are named in `lost`. */
BuildProject roundTripProject(const ArtFile &art, const ExtractJob &job, const QString &palettePath, QStringList *lost)
{
    BuildProject project;
    project.frames = FrameList(art.isRotatable() ? art::kDirectionCount : 1);
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const art::FramePlace place = art::framePlace(art.isRotatable(), art.framesPerDirection, i);
        ListedFrame frame;
        if (art.frames[i].dataSize != 0)
            frame.file = framePath(art, job, i);
        frame.centre = QPoint(art.frames[i].centerX, art.frames[i].centerY);
        (*project.frames)[art.isRotatable() ? size_t(place.direction) : 0].push_back(frame);
    }
    project.target = QDir(job.outDir).filePath(baseName(job.file) + QStringLiteral(".art"));
    GenerationSettings &settings = project.settings;
    settings.rotatable = art.isRotatable() ? 1 : 0;
    settings.paletteCount = art.paletteCount;
    settings.paletteFile = palettePath;
    if (art.rate >= 1 && art.rate <= 99)
        settings.frameRate = art.rate;
    else
        lost->append(QStringLiteral("the rate %1 (a build writes 1..99)").arg(art.rate));
    // A hit frame of 0 writes the last frame of a stage.
    const qint64 framesPerStage = (*project.frames)[0].size();
    if (art.hitFrame == framesPerStage - 1)
        settings.hitFrame = 0;
    else if (art.hitFrame >= 1 && art.hitFrame <= 99)
        settings.hitFrame = art.hitFrame;
    else
        lost->append(QStringLiteral("the hit frame %1 (a build writes 1..99 or the last frame)").arg(art.hitFrame));
    return project;
}

/** Writes the palette and the project of a round trip (see roundTripProject). */
bool writeRoundTrip(const ArtFile &art, const ExtractJob &job, const QString &palettePath, const QString &projectPath,
                    OutputBatch &batch, Console &console)
{
    if (!batch.write(palettePath, gimpPalette(art, baseName(job.file)), console))
        return false;
    console.note(palettePath);
    QStringList lost;
    if (!batch.write(projectPath, projectJson(roundTripProject(art, job, palettePath, &lost), projectPath), console))
        return false;
    console.note(projectPath);
    for (const QString &value : lost)
        console.error(projectPath,
                      QStringLiteral("warning: a build of it writes the default instead of %1").arg(value));
    return true;
}

int extractFrames(const ArtFile &art, const ExtractJob &job, OutputBatch &batch, Console &console)
{
    // Everything that would stop the run is checked before the first file is written.
    QStringList outputs;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        if (f.width > kMaxPngSide || f.height > kMaxPngSide) {
            console.error(job.file,
                          QStringLiteral("frame %1 is %2 x %3 pixels; the PNG writer takes at most %4 "
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
    const QString jsonPath = QDir(job.outDir).filePath(baseName(job.file) + QStringLiteral(".json"));
    const QString palettePath = QDir(job.outDir).filePath(baseName(job.file) + QStringLiteral(".gpl"));
    const QString projectPath = QDir(job.outDir).filePath(baseName(job.file) + QStringLiteral(".kestrin"));
    if (job.indexed)
        outputs << jsonPath << palettePath << projectPath;
    if (!outputsAvoidInput(job, outputs, console))
        return ExitFailure;
    int written = 0;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const QString path = framePath(art, job, i);
        const QImage image = job.indexed ? frameIndexedImage(art, int(i), job.transparentZero)
                                         : frameImage(art, int(i), job.transparentZero);
        if (image.isNull()) {
            if (art.frames[i].dataSize != 0) {
                console.error(job.file, QStringLiteral("frame %1 is too large to draw").arg(i));
                return ExitFailure;
            }
            console.note(QStringLiteral("%1: frame %2 has no pixels, no file written").arg(path, QString::number(i)));
            continue;
        }
        if (!savePng(image, path, batch, console))
            return ExitFailure;
        console.note(path);
        ++written;
    }
    if (job.indexed) {
        const QByteArray json = framesJson(art, job);
        if (!batch.write(jsonPath, json, console))
            return ExitFailure;
        console.note(jsonPath);
        if (!writeRoundTrip(art, job, palettePath, projectPath, batch, console))
            return ExitFailure;
    }
    console.note(QStringLiteral("%1 of %2 frames written to %3").arg(written).arg(art.frames.size()).arg(job.outDir));
    return ExitSuccess;
}

/** Copies frame `index` into `cell` (cellWidth x cellHeight pixels of T)
 *  at its place in the layout, through `convert` from its index bytes. */
template<typename T, typename Convert>
void placeFrame(const ArtFile &art, size_t index, const SheetLayout &layout, T *cell, qint64 stride, Convert convert)
{
    const ArtFrame &f = art.frames[index];
    if (f.dataSize == 0)
        return;
    const quint8 *indices = art.frameIndices(int(index));
    T *origin = cell + layout.top(f) * stride + layout.left(f);
    for (qint64 y = 0; y < f.height; ++y) {
        const quint8 *in = indices + y * f.width;
        std::transform(in, in + f.width, origin + y * stride, convert);
    }
}

enum class Drawing { Sheet, Animation };

/** The layout of the whole sheet, or of one row of it for an animation;
 *  nothing, after saying why, when there is nothing to draw or it is more
 *  than kestrin-art draws. */
std::optional<SheetLayout> drawableLayout(const ArtFile &art, const ExtractJob &job, Drawing drawing, Console &console)
{
    const bool sheet = drawing == Drawing::Sheet;
    std::optional<SheetLayout> layout = sheetLayout(art);
    if (!layout) {
        console.error(job.file,
                      QStringLiteral("no frame holds any pixels, there is no %1 to draw")
                          .arg(sheet ? QStringLiteral("sheet") : QStringLiteral("animation")));
        return std::nullopt;
    }
    if (sheet ? layout->sheetFits() : layout->rowFits())
        return layout;
    const QString what = sheet ? QStringLiteral("a sheet of %1 row(s) of %2 cells of %3 x %4 pixels")
                                     .arg(layout->rows)
                                     .arg(layout->columns)
                                     .arg(layout->cellWidth)
                                     .arg(layout->cellHeight)
                               : QStringLiteral("%1 frames on a canvas of %2 x %3 pixels")
                                     .arg(layout->columns)
                                     .arg(layout->cellWidth)
                                     .arg(layout->cellHeight);
    const QString limit = sheet ? QStringLiteral("; extract the frames without --sheet (a sheet holds")
                                : QStringLiteral(" (an animation holds");
    console.error(
        job.file,
        what + QStringLiteral(" is more than kestrin-art draws") + limit
            + QStringLiteral(" at most %1 pixels, and %2 pixels per side)").arg(kMaxSheetPixels).arg(kMaxSheetSide));
    return std::nullopt;
}

/** Every frame in its cell, the cells aligned so that the frames' centres
 *  coincide: the frames sit where they sat in their untrimmed images. */
int extractSheet(const ArtFile &art, const ExtractJob &job, OutputBatch &batch, Console &console)
{
    const std::optional<SheetLayout> layout = drawableLayout(art, job, Drawing::Sheet, console);
    if (!layout)
        return ExitFailure;
    const qint64 width = layout->cellWidth * layout->columns;
    const qint64 height = layout->cellHeight * layout->rows;
    const QString path = QDir(job.outDir).filePath(baseName(job.file) + QStringLiteral(".png"));
    if (!outputsAvoidInput(job, {path}, console))
        return ExitFailure;
    QImage sheet(int(width), int(height), QImage::Format_ARGB32);
    if (sheet.isNull()) {
        console.error(job.file, QStringLiteral("not enough memory for a %1 x %2 sheet").arg(width).arg(height));
        return ExitFailure;
    }
    sheet.fill(0); // transparent where no frame lies
    QVector<QRgb> colors = art.colorTable(false);
    if (job.transparentZero)
        colors[0] = 0;
    const qint64 stride = sheet.bytesPerLine() / 4;
    auto *pixels = reinterpret_cast<QRgb *>(sheet.bits());
    for (size_t i = 0; i < art.frames.size(); ++i) {
        QRgb *cell
            = pixels + layout->row(art, i) * layout->cellHeight * stride + layout->column(art, i) * layout->cellWidth;
        placeFrame(art, i, *layout, cell, stride, [&](quint8 index) { return colors[index]; });
    }
    if (!savePng(sheet, path, batch, console))
        return ExitFailure;
    console.note(QStringLiteral("%1 (%2 x %3, %4 row(s) of %5 frames)")
                     .arg(path, QString::number(width), QString::number(height), QString::number(layout->rows),
                          QString::number(layout->columns)));
    return ExitSuccess;
}

/** One animated GIF per direction (one for a static sprite's sequence):
 *  every frame on a canvas of the layout's cell, centres aligned as on the
 *  sheet, in the file's palette at the file's rate. Around a frame lies
 *  index 0, the colour of the sprite's first pixel: transparent with
 *  --transparent-zero, as the frame's own index-0 pixels are. */
int extractGifs(const ArtFile &art, const ExtractJob &job, OutputBatch &batch, Console &console)
{
    const std::optional<SheetLayout> layout = drawableLayout(art, job, Drawing::Animation, console);
    if (!layout)
        return ExitFailure;
    QStringList paths;
    for (qint64 row = 0; row < layout->rows; ++row) {
        const QString name = art.isRotatable()
            ? QStringLiteral("%1_dir%2.gif").arg(baseName(job.file)).arg(row + 1, 2, 10, QLatin1Char('0'))
            : baseName(job.file) + QStringLiteral(".gif");
        paths.append(QDir(job.outDir).filePath(name));
    }
    if (!outputsAvoidInput(job, paths, console))
        return ExitFailure;
    // A rate of 0 or less is not one the writer stores; it plays at the default.
    const int rate = art.rate > 0 ? art.rate : art::kDefaultRate;
    GifAnimation animation;
    animation.width = int(layout->cellWidth);
    animation.height = int(layout->cellHeight);
    animation.palette = art.colorTable(false);
    animation.delay = gifDelay(rate);
    animation.transparentIndex = job.transparentZero ? 0 : -1;
    for (qint64 row = 0; row < layout->rows; ++row) {
        animation.frames.clear();
        for (qint64 column = 0; column < layout->columns; ++column) {
            QByteArray canvas(layout->cellWidth * layout->cellHeight, '\0');
            const size_t index = size_t(row * layout->columns + column);
            placeFrame(art, index, *layout, reinterpret_cast<quint8 *>(canvas.data()), layout->cellWidth,
                       [](quint8 index) { return index; });
            animation.frames.push_back(canvas);
        }
        QByteArray gif;
        if (const Failure failure = encodeGif(animation, &gif)) {
            console.error(paths[int(row)], failure.reason);
            return ExitFailure;
        }
        if (!batch.write(paths[int(row)], gif, console))
            return ExitFailure;
        console.note(QStringLiteral("%1 (%2 x %3, %4 frames, %5/100 s each)")
                         .arg(paths[int(row)], QString::number(animation.width), QString::number(animation.height),
                              QString::number(animation.frames.size()), QString::number(animation.delay)));
    }
    return ExitSuccess;
}

/** Makes `path` and every missing folder above it: 0, or the errno of the
 *  first that fails ("Not a directory" below a regular file). */
int makeFolders(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype end = 1; end <= native.size(); ++end) {
        if (end < native.size() && native[end] != '/')
            continue;
        const QByteArray part = native.left(end);
        struct stat status {
        };
        if (::stat(part.constData(), &status) == 0) {
            if (!S_ISDIR(status.st_mode))
                return ENOTDIR;
            continue;
        }
        if (errno != ENOENT)
            return errno;
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

int runExtract(const ExtractJob &job, Console &console)
{
    ArtFile art;
    if (const Failure failure = readArtFile(job.file, art)) {
        console.error(job.file, failure.reason);
        return ExitFailure;
    }
    if (const int error = makeFolders(job.outDir)) {
        console.error(job.outDir,
                      QStringLiteral("cannot create the folder: %1")
                          .arg(QString::fromStdString(std::generic_category().message(error))));
        return ExitFailure;
    }
    OutputBatch batch;
    const int status = job.sheet ? extractSheet(art, job, batch, console)
        : job.gif                ? extractGifs(art, job, batch, console)
                                 : extractFrames(art, job, batch, console);
    if (status != ExitSuccess)
        batch.rollBack(console);
    return status;
}

} // namespace kestrin::cli
