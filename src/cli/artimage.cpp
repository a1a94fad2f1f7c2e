#include "cli/artimage.h"

#include <cstring>

namespace kestrin {

QImage frameImage(const ArtFile &art, int index, bool transparentZero)
{
    const ArtFrame &frame = art.frames.at(size_t(index));
    if (frame.dataSize == 0)
        return QImage();
    QVector<QRgb> lookup = art.colorTable(false);
    if (transparentZero)
        lookup[0] = 0;
    QImage image(frame.width, frame.height, QImage::Format_ARGB32);
    if (image.isNull())
        return image; // more pixels than QImage can hold
    const quint8 *indices = art.frameIndices(index);
    for (int y = 0; y < frame.height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const quint8 *in = indices + qint64(y) * frame.width;
        for (int x = 0; x < frame.width; ++x)
            row[x] = lookup[in[x]];
    }
    return image;
}

QImage frameIndexedImage(const ArtFile &art, int index, bool transparentZero)
{
    const ArtFrame &frame = art.frames.at(size_t(index));
    if (frame.dataSize == 0)
        return QImage();
    QImage image(frame.width, frame.height, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    image.setColorTable(art.colorTable(transparentZero));
    const quint8 *indices = art.frameIndices(index);
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(image.scanLine(y), indices + qint64(y) * frame.width, size_t(frame.width));
    return image;
}

} // namespace kestrin
