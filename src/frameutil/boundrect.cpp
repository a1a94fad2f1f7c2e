#include "frameutil/boundrect.h"

#include <QRect>

#include <algorithm>

namespace kestrin {

BoundRect contentBounds(const Image &image)
{
    if (image.format() != Image::Format_ARGB32 && !image.isNull())
        return contentBounds(image.convertToFormat(Image::Format_ARGB32));

    const qint32 width = image.width();
    const qint32 height = image.height();
    BoundRect bounds{width, height, 0, 0};
    if (image.isNull())
        return bounds;

    const quint32 background = reinterpret_cast<const quint32 *>(image.constScanLine(0))[0];
    for (qint32 y = 0; y < height; ++y) {
        const quint32 *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        // The first content pixel from the left decides left; the first from
        // the right decides right. Pixels in between cannot change either.
        qint32 first = 0;
        while (first < width && row[first] == background)
            ++first;
        if (first == width)
            continue;
        qint32 last = width - 1;
        while (row[last] == background)
            --last;
        if (first < bounds.left)
            bounds.left = first;
        if (last + 1 > bounds.right)
            bounds.right = last + 1;
        if (y < bounds.top)
            bounds.top = y;
        bounds.bottom = y + 1; // rows are visited top to bottom
    }
    return bounds;
}

BoundRect contentBoundsWhere(const Image &image, const std::function<bool(quint32)> &isContent)
{
    if (image.format() != Image::Format_ARGB32 && !image.isNull())
        return contentBoundsWhere(image.convertToFormat(Image::Format_ARGB32), isContent);
    const qint32 width = image.width();
    const qint32 height = image.height();
    BoundRect bounds{width, height, 0, 0};
    for (qint32 y = 0; y < height; ++y) {
        const quint32 *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        qint32 first = 0;
        while (first < width && !isContent(row[first]))
            ++first;
        if (first == width)
            continue;
        qint32 last = width - 1;
        while (!isContent(row[last]))
            --last;
        bounds.left = std::min(bounds.left, first);
        bounds.right = std::max(bounds.right, last + 1);
        bounds.top = std::min(bounds.top, y);
        bounds.bottom = y + 1;
    }
    return bounds;
}

namespace {

void trimTo(Frame &frame, const BoundRect &bounds)
{
    if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) {
        frame.workImage = Image();
    } else {
        const QRect rect(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
        // QImage::copy always allocates new pixel storage.
        frame.workImage = frame.sourceImage.format() == Image::Format_ARGB32
            ? frame.sourceImage.copy(rect)
            : frame.sourceImage.copy(rect).convertToFormat(Image::Format_ARGB32);
    }
    frame.boundRect = bounds;
}

} // namespace

void trimFrame(Frame &frame)
{
    trimTo(frame, contentBounds(frame.sourceImage));
}

void trimFrameWhere(Frame &frame, const std::function<bool(quint32)> &isContent)
{
    trimTo(frame, contentBoundsWhere(frame.sourceImage, isContent));
}

void untrimFrame(Frame &frame)
{
    frame.workImage = frame.sourceImage;
    frame.boundRect = BoundRect();
}

bool applyBoundRect(Project &project, bool enabled)
{
    if (project.stageCount == 0)
        return false;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < stage.frameCount; ++f) {
            if (enabled)
                trimFrame(*stage.frames[f]);
            else
                untrimFrame(*stage.frames[f]);
        }
    }
    return true;
}

} // namespace kestrin
