#pragma once

#include "decode/frameimage.h"
#include "project/frame.h"
#include "project/project.h"

#include <functional>

namespace kestrin {

/** The bounds of an image's content: the pixels whose whole 32-bit ARGB value
 *  (alpha included) differs from the value of the top-left pixel.
 *
 *  left and top are the smallest column and row of any content pixel; right
 *  and bottom lie one past the largest such column and row. An image without
 *  content (every pixel equal to the top-left one, or a null image) gives
 *  (width, height, 0, 0). Pixels are read row by row in 32-bit ARGB; an image
 *  of another format is measured on its ARGB32 conversion. */
[[nodiscard]] BoundRect contentBounds(const Image &image);

/** The bounds of the pixels for which `isContent(pixel)` holds, pixels
 *  read as 32-bit ARGB words; the same rectangle conventions as
 *  contentBounds. */
[[nodiscard]] BoundRect contentBoundsWhere(const Image &image, const std::function<bool(quint32)> &isContent);

/** trimFrame, with the content given by `isContent` instead of by the
 *  top-left pixel. */
void trimFrameWhere(Frame &frame, const std::function<bool(quint32)> &isContent);

/** Rebuilds `frame.workImage` from `frame.sourceImage` trimmed to
 *  contentBounds(sourceImage), and stores those bounds in `frame.boundRect`.
 *  The trimmed image is a deep ARGB32 copy sharing no pixels with the source;
 *  when there is no content it is a null image. sourceImage is never changed. */
void trimFrame(Frame &frame);

/** Makes `frame.workImage` the whole source image again (shared, no pixel
 *  copy) and returns `frame.boundRect` to the loading value (0, 0, -1, -1). */
void untrimFrame(Frame &frame);

/** The bounding-rectangle pass: trimFrame (when `enabled`) or untrimFrame
 *  (otherwise) on every frame of every stage, in order. Returns false, and
 *  touches nothing, when the project has no stages; true otherwise. */
[[nodiscard]] bool applyBoundRect(Project &project, bool enabled);

} // namespace kestrin
