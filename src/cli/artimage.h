#pragma once

// A sprite's frames drawn as images, for the previews and sheets kestrin-art
// writes.

#include "artfile/artreader.h"

#include <QImage>

namespace kestrin {

/** Frame `index` of `art` drawn through the palette as a width x height
 *  ARGB32 image; with `transparentZero`, index 0 becomes fully transparent.
 *  A frame without pixels gives a null image. */
[[nodiscard]] QImage frameImage(const ArtFile &art, int index, bool transparentZero);

/** Frame `index` of `art` as a width x height Format_Indexed8 image whose
 *  pixels are the file's indices and whose colour table is
 *  art.colorTable(transparentZero). A frame without pixels gives a null
 *  image. */
[[nodiscard]] QImage frameIndexedImage(const ArtFile &art, int index, bool transparentZero);

} // namespace kestrin
