#include "cli/artjson.h"

#include "artfile/artformat.h"

#include <QJsonArray>

#include <algorithm>

namespace kestrin::cli {

QString printableSignature(const QByteArray &bytes)
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

UsedColors usedColors(const ArtFile &art)
{
    UsedColors colors;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const quint8 *indices = art.frameIndices(int(i));
        for (qint32 k = 0; k < art.frames[i].dataSize; ++k)
            colors.used[indices[k]] = true;
    }
    for (int i = 0; i < 256; ++i) {
        if (colors.used[i]) {
            ++colors.count;
            colors.end = i + 1;
        }
    }
    return colors;
}

QJsonObject artJson(const QString &path, const ArtFile &art)
{
    const UsedColors used = usedColors(art);
    QJsonArray palette;
    for (int i = 0; i < std::max(art.colorCount(), used.end); ++i)
        palette.append(QStringLiteral("#%1").arg(art.color(quint8(i)) & 0xffffff, 6, 16, QLatin1Char('0')));
    QJsonArray frames;
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const ArtFrame &f = art.frames[i];
        const art::FramePlace place = art::framePlace(art.isRotatable(), art.framesPerDirection, i);
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
    return QJsonObject{
        {QStringLiteral("file"), path},
        {QStringLiteral("fileSize"), qint64(art.bytes.size())},
        {QStringLiteral("type"), typeName(art)},
        {QStringLiteral("staticFlag"), qint64(art.staticFlag)},
        {QStringLiteral("rate"), art.rate},
        {QStringLiteral("directionCount"), qint64(art.directionCount)},
        {QStringLiteral("framesPerDirection"), qint64(art.framesPerDirection)},
        {QStringLiteral("actionFrame"), art.hitFrame},
        {QStringLiteral("paletteCount"), qint64(art.paletteCount)},
        {QStringLiteral("signature"), printableSignature(art.signature)},
        {QStringLiteral("colorCount"), used.count},
        {QStringLiteral("frameCount"), qint64(art.frames.size())},
        {QStringLiteral("pixelCount"), pixelCount(art)},
        {QStringLiteral("palette"), palette},
        {QStringLiteral("frames"), frames},
    };
}

} // namespace kestrin::cli
