#pragma once

#include "artfile/artwriter.h"

#include <QByteArray>

namespace kestrin {

/** The ".art" file of `project` made the plain way, as the reference for the
 *  fast writer: all working images copied into one combined pixel buffer,
 *  IndexedImage::build over it (plain octree descent, exhaustive 256-entry
 *  search per pixel), the index-0 swap over the whole index buffer, and the
 *  file assembled in memory. Expects a project that writeArt() accepts (at
 *  least one stage, equal frame counts, fewer than 2^32 pixels); returns an
 *  empty array otherwise. Slow and memory-hungry by design: tests and the
 *  benchmark only. */
QByteArray referenceArtFile(const Project &project, const GenerationSettings &settings);

} // namespace kestrin
