// kestrin-art info: a sprite file's header, palette and frames, as text or JSON.
#include "cli/commands.h"

#include "artfile/artformat.h"
#include "artfile/artreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrin::cli {

namespace {

/** The signature slots as printable text; other bytes as \xNN. */
QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\' && byte != '"')
            text += QLatin1Char(char(byte));
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString typeName(const ArtFile &art)
{
    return art.isRotatable() ? QStringLiteral("rotatable") : QStringLiteral("static");
}

qint64 pixelCount(const ArtFile &art)
{
    qint64 total = 0;
    for (const ArtFrame &frame : art.frames)
        total += frame.dataSize;
    return total;
}

/** Direction and position within it of frame `index`. */
art::FramePlace placeOf(const ArtFile &art, size_t index)
{
    return art::framePlace(art.isRotatable(), art.framesPerDirection, index);
}

QJsonDocument toJson(const QString &path, const ArtFile &art)
{
    QJsonArray palette;
    for (int i = 0; i < art.colorCount(); ++i)
        palette.append(QStringLiteral("#%1").arg(art.color(quint8(i)) & 0xffffff, 6, 16, QLatin1Char('0')));
    QJsonArray frames;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        const art::FramePlace place = placeOf(art, i);
        frames.append(QJsonObject{
            {QStringLiteral("direction"), place.direction},
            {QStringLiteral("frame"), place.frame},
            {QStringLiteral("width"), f.width},
            {QStringLiteral("height"), f.height},
            {QStringLiteral("dataSize"), f.dataSize},
            {QStringLiteral("centerX"), f.centerX},
            {QStringLiteral("centerY"), f.centerY},
        });
    }
    return QJsonDocument(QJsonObject{
        {QStringLiteral("file"), path},
        {QStringLiteral("fileSize"), qint64(art.bytes.size())},
        {QStringLiteral("type"), typeName(art)},
        {QStringLiteral("staticFlag"), qint64(art.staticFlag)},
        {QStringLiteral("rate"), art.rate},
        {QStringLiteral("directionCount"), qint64(art.directionCount)},
        {QStringLiteral("framesPerDirection"), qint64(art.framesPerDirection)},
        {QStringLiteral("actionFrame"), art.actionFrame},
        {QStringLiteral("paletteCount"), qint64(art.paletteCount)},
        {QStringLiteral("signature"), printable(art.signature)},
        {QStringLiteral("colorCount"), art.colorCount()},
        {QStringLiteral("frameCount"), qint64(art.frames.size())},
        {QStringLiteral("pixelCount"), pixelCount(art)},
        {QStringLiteral("palette"), palette},
        {QStringLiteral("frames"), frames},
    });
}

void printText(const QString &path, const ArtFile &art, Console &console)
{
    const auto field = [&](const char *name, const QString &value) {
        console.out(QStringLiteral("%1 %2").arg(QLatin1String(name), -21).arg(value));
    };
    field("file:", QStringLiteral("%1 (%2 bytes)").arg(path, QString::number(art.bytes.size())));
    field("type:", QStringLiteral("%1 (staticFlag %2)").arg(typeName(art)).arg(art.staticFlag));
    field("rate:", QString::number(art.rate));
    field("directions:", QString::number(art.directionCount));
    field("frames per direction:", QString::number(art.framesPerDirection));
    field("action frame:", QString::number(art.actionFrame));
    field("palettes:", QStringLiteral("%1 (signature \"%2\")").arg(art.paletteCount).arg(printable(art.signature)));
    field("colours:", QString::number(art.colorCount()));
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

} // namespace

int runInfo(const InfoJob &job, Console &console)
{
    ArtFile art;
    QString error;
    if (!readArtFile(job.file, art, error)) {
        console.error(job.file, error);
        return ExitFailure;
    }
    if (job.json)
        console.out(QString::fromUtf8(toJson(job.file, art).toJson(QJsonDocument::Indented)).trimmed());
    else
        printText(job.file, art, console);
    return ExitSuccess;
}

} // namespace kestrin::cli
