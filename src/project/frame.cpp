#include "project/frame.h"

namespace kestrin {

bool loadFrame(Frame &frame, const QString &path, DecodeResult &outcome)
{
    outcome = decodeImageFile(path);
    if (!outcome.ok())
        return false;
    frame.filePath = path;
    frame.sourceImage = outcome.image;
    frame.workImage = frame.sourceImage;
    frame.boundRect = BoundRect();
    frame.centre.reset();
    frame.failedFile.clear();
    frame.failedReason.clear();
    return true;
}

bool loadFrame(Frame &frame, const QString &path)
{
    DecodeResult outcome;
    return loadFrame(frame, path, outcome);
}

} // namespace kestrin
