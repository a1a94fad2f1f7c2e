// kestrin-art info: a sprite file's header, palette and frames, as text or JSON.
#include "cli/commands.h"

#include "artfile/artformat.h"
#include "artfile/artreader.h"
#include "cli/artfileopen.h"
#include "cli/artjson.h"
#include "fileio/failure.h"
#include "wording/failuretext.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace kestrin::cli {
namespace {

/** Direction and position within it of frame `index`. */
art::FramePlace placeOf(const ArtFile &art, size_t index)
{
    return art::framePlace(art.isRotatable(), art.framesPerDirection, index);
}

void printText(const QString &path, const ArtFile &art, Console &console)
{
    const auto field = [&](const char *name, const QString &value) {
        console.out(QStringLiteral("%1 %2").arg(QLatin1String(name), -21).arg(value));
    };
    field("file:", QStringLiteral("%1 (%2 bytes)").arg(printable(path), QString::number(art.bytes.size())));
    field("type:", QStringLiteral("%1 (staticFlag %2)").arg(typeName(art)).arg(art.staticFlag));
    field("rate:", QString::number(art.rate));
    field("directions:", QString::number(art.directionCount));
    field("frames per direction:", QString::number(art.framesPerDirection));
    field("action frame:", QString::number(art.hitFrame));
    field("palettes:",
          QStringLiteral("%1 (signature \"%2\")").arg(art.paletteCount).arg(printableSignature(art.signature)));
    field("colours:", QStringLiteral("%1 used").arg(usedColors(art).count));
    field("frames:", QStringLiteral("%1 (%2 pixels)").arg(art.frames.size()).arg(pixelCount(art)));
    if (art.frames.empty())
        return;
    console.out(QStringLiteral("direction  frame  width  height  centerX  centerY"));
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        const art::FramePlace place = placeOf(art, i);
        console.out(QStringLiteral("%1  %2  %3  %4  %5  %6")
                        .arg(place.direction, 9)
                        .arg(place.frame, 5)
                        .arg(f.width, 5)
                        .arg(f.height, 6)
                        .arg(f.centerX, 7)
                        .arg(f.centerY, 7));
    }
}

/** The report of a file that could not be read, shaped as build --json
 *  reports a failure: ok false and the error's kind, path and message. */
QJsonObject failureJson(const QString &path, const QString &message)
{
    const QFileInfo info(path);
    const bool opened = path == QLatin1String("-") || (info.isFile() && info.isReadable());
    const FailureKind kind
        = opened ? FailureKind(kestrin::FileFailure::MalformedFile) : FailureKind(kestrin::FileFailure::CannotReadFile);
    return QJsonObject{
        {QStringLiteral("file"), path},
        {QStringLiteral("ok"), false},
        {QStringLiteral("error"),
         QJsonObject{
             {QStringLiteral("kind"), failureKindName(kind)},
             {QStringLiteral("path"), path},
             {QStringLiteral("message"), message},
         }},
    };
}

} // namespace

int runInfo(const InfoJob &job, Console &console)
{
    ArtFile art;
    const auto printJson = [&](const QJsonObject &json) {
        console.out(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)).trimmed());
    };
    if (const Failure failure = readArtFile(job.file, art)) {
        console.error(job.file, failure.reason);
        if (job.json)
            printJson(failureJson(job.file, failure.reason));
        return ExitFailure;
    }
    if (job.json) {
        QJsonObject json = artJson(job.file, art);
        json.insert(QStringLiteral("ok"), true);
        printJson(json);
    } else
        printText(job.file, art, console);
    return ExitSuccess;
}

} // namespace kestrin::cli
