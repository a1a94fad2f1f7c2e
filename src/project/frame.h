#pragma once

#include "decode/frameimage.h"
#include "decode/imagedecoder.h"
#include "fileio/failure.h"

#include <QPoint>
#include <QString>

#include <optional>

namespace kestrin {

/** Where a frame's working image lies inside its source image after trimming.
 *  (0, 0, -1, -1) is the loading value: nothing has been trimmed. */
struct BoundRect {
    qint32 left = 0;    // smallest column of the trimmed content
    qint32 top = 0;     // smallest row of the trimmed content
    qint32 right = -1;  // one past the largest column
    qint32 bottom = -1; // one past the largest row

    friend bool operator==(const BoundRect &a, const BoundRect &b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend bool operator!=(const BoundRect &a, const BoundRect &b) { return !(a == b); }
};

/** One image of the animation. */
struct Frame {
    QString filePath;    // file the frame was last loaded from; empty until a load succeeds
    Image sourceImage;   // the image as loaded, always Format_ARGB32; never changed by the utilities
    Image workImage;     // trimmed / keyed copy that is shown and written
    BoundRect boundRect; // where workImage lies inside sourceImage
    // The centre written for this frame, in sourceImage coordinates, instead
    // of the middle of sourceImage; set by a project that lists its frames.
    std::optional<QPoint> centre;

    // Set when loading a folder stopped at this frame's file, which left it without an image.
    QString failedFile;   // that file; empty otherwise
    QString failedReason; // why it did not load, in the decoder's or the system's words
};

/** Loads the image file at `path` into `frame`, decoded by decodeImageFile.
 *
 *  On success the frame's path is replaced, sourceImage becomes the image
 *  converted to 32-bit ARGB (not premultiplied), workImage shares it, the
 *  bounds return to the loading value, a fixed centre is dropped and no
 *  failed load is remembered. On failure (empty path, missing file, not a
 *  regular file, not an image, truncated, too large to decode) the
 *  failure is CannotLoadFrame with `path` and the decode's message as its
 *  reason, and the frame is left exactly as it was. `outcome`, when given,
 *  receives the decode's own result, in the decoder's terms. */
[[nodiscard]] Failure loadFrame(Frame &frame, const QString &path, DecodeResult *outcome = nullptr);

} // namespace kestrin
