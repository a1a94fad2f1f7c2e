#pragma once

#include "decode/frameimage.h"
#include "project/project.h"

#include <optional>

namespace kestrin {

/** The transparent key colour: (red << 16) | (green << 8) | blue, computed on
 *  the 32-bit two's-complement bits with no clamping and no masking. A green
 *  or blue above 255 spills into the next component (blue 256 gives
 *  0x000100); a red above 255 or any negative component sets bits above the
 *  lowest 24, and such a key matches no pixel. */
[[nodiscard]] quint32 keyColor(int red, int green, int blue);

/** Rewrites every pixel p of `image`, row by row: when `enabled` and
 *  (p & 0x00FFFFFF) == key, p becomes the key itself (alpha 0); otherwise p
 *  becomes p | 0xFF000000 (fully opaque, same colour). An image of another
 *  format is first converted to ARGB32. Writing detaches the image, so an
 *  image that shared its pixels with another (the frame's source image)
 *  leaves that other image untouched. A null image has no rows. */
void applyKey(Image &image, bool enabled, quint32 key);

/** Makes every pixel of `image` whose colour is `key` transparent (the key
 *  itself, alpha 0) and leaves every other pixel, alpha included, as it is.
 *  An image of another format is first converted to ARGB32. */
void clearKey(Image &image, quint32 key);

/** The transparency pass: applyKey on the working image of every frame of
 *  every stage, in order. Returns false, and touches nothing, when the
 *  project has no stages; true otherwise. */
[[nodiscard]] bool applyTransparency(Project &project, bool enabled, quint32 key);

/** Red, green and blue of one pixel, each 0 to 255. */
struct PickedColor {
    int red = 0;
    int green = 0;
    int blue = 0;
};

/** The colour of `image`'s top-left pixel, alpha ignored; nothing for a null
 *  image, which has no pixel to read. */
[[nodiscard]] std::optional<PickedColor> pickColor(const Image &image);

} // namespace kestrin
