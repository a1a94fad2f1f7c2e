#pragma once

// Projects made in code for the writer and run tests.

#include "artfile/artformat.h"
#include "project/project.h"

#include <QByteArray>
#include <QImage>

#include <functional>

namespace artfixture {

inline quint32 bgr(int blue, int green, int red, int alpha = 255)
{
    return quint32(alpha) << 24 | quint32(red) << 16 | quint32(green) << 8 | quint32(blue);
}

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

/** S stages of F flat frames of w x h, each of its own colour. */
inline void fill(kestrin::Project &project, int stages, int frames, int width = 3, int height = 2)
{
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f)
            addFrame(stage, flat(width, height, bgr(s * 20, f * 40, 100)));
    }
}

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
                                           + kestrin::art::frameHeaderSize * i);
}

} // namespace artfixture
