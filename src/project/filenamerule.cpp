#include "project/filenamerule.h"

#include <QChar>

#include <algorithm>

namespace kestrin {

int argMarkerAt(QStringView text, qsizetype at)
{
    const qsizetype n = text.size();
    if (at >= n || text[at] != QLatin1Char('%'))
        return -1;
    qsizetype j = at + 1;
    if (j < n && text[j] == QLatin1Char('L'))
        ++j;
    if (j >= n || text[j].digitValue() == -1)
        return -1;
    int number = text[j].digitValue();
    if (j + 1 < n && text[j + 1].digitValue() != -1)
        number = number * 10 + text[j + 1].digitValue();
    return number;
}

bool hasArgMarker(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (argMarkerAt(text, i) != -1)
            return true;
    }
    return false;
}

QString argNumber(const QString &text, quint32 number, int fieldWidth)
{
    if (!hasArgMarker(text))
        return text;
    const int width = std::clamp(fieldWidth, -kMaxFieldWidth, kMaxFieldWidth);
    return text.arg(QString::number(number), width, QLatin1Char('0'));
}

QString frameFileName(const QString &pattern, quint32 stage, int stageWidth, quint32 frame, int frameWidth)
{
    return argNumber(argNumber(pattern, stage, stageWidth), frame, frameWidth);
}

PatternShape patternShape(QStringView pattern)
{
    int lowest = 1000;
    bool hasFrameMarker = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const int number = argMarkerAt(pattern, i);
        if (number == -1)
            continue;
        lowest = std::min(lowest, number);
        hasFrameMarker = hasFrameMarker || number == 2;
    }
    if (!hasFrameMarker)
        return PatternShape::NoFrameNumber;
    return lowest == 2 ? PatternShape::FramesOnly : PatternShape::StagesAndFrames;
}

NamePreview previewNames(const QString &pattern, quint32 stageMin, quint32 stageMax, int stageWidth, quint32 frameMin,
                         quint32 frameMax, int frameWidth)
{
    const bool hasFrameMarker = pattern.contains(QStringLiteral("%2"));
    // Unsigned 32-bit on purpose: frameMin + 1 wraps to 0 for 4294967295.
    const quint32 frameAfter = frameMin + 1u;
    const quint32 nextStage = std::min(frameAfter > frameMax ? stageMin + 1u : stageMin, stageMax);
    const quint32 nextFrame = std::min(frameAfter, frameMax);

    NamePreview names;
    if (patternShape(pattern) == PatternShape::FramesOnly) {
        names.first = argNumber(pattern, frameMin, frameWidth);
        names.last = argNumber(pattern, frameMax, frameWidth);
        names.next = argNumber(pattern, nextFrame, frameWidth);
    } else if (hasFrameMarker) {
        names.first = frameFileName(pattern, stageMin, stageWidth, frameMin, frameWidth);
        names.last = frameFileName(pattern, stageMax, stageWidth, frameMax, frameWidth);
        names.next = frameFileName(pattern, nextStage, stageWidth, nextFrame, frameWidth);
    } else {
        names.first = argNumber(pattern, stageMin, stageWidth);
        names.last = argNumber(pattern, stageMax, stageWidth);
        names.next = argNumber(pattern, nextStage, stageWidth);
    }
    return names;
}

} // namespace kestrin
