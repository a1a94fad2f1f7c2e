#include "project/frame.h"

namespace kestrin {

bool loadFrame(Frame &frame, const QString &path)
{
    QImage image;
    if (path.isEmpty() || !image.load(path) || image.isNull())
        return false;
    QImage converted = image.convertToFormat(QImage::Format_ARGB32);
    if (converted.isNull()) // conversion ran out of memory
        return false;
    frame.filePath = path;
    frame.sourceImage = converted;
    frame.workImage = frame.sourceImage;
    frame.boundRect = BoundRect();
    return true;
}

} // namespace kestrin
