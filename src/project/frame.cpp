#include "project/frame.h"
#include "project/framefailure.h"

namespace kestrin {

Failure loadFrame(Frame &frame, const QString &path, DecodeResult *outcome)
{
    DecodeResult decoded = decodeImageFile(path);
    if (!decoded.ok()) {
        const QString reason = decoded.message();
        if (outcome)
            *outcome = std::move(decoded);
        return Failure::of(FailureKind(kestrin::FrameFailure::CannotLoadFrame), path, reason);
    }
    frame.filePath = path;
    frame.sourceImage = decoded.image;
    frame.workImage = frame.sourceImage;
    frame.boundRect = BoundRect();
    frame.centre.reset();
    frame.failedFile.clear();
    frame.failedReason.clear();
    if (outcome)
        *outcome = std::move(decoded);
    return Failure();
}

} // namespace kestrin
