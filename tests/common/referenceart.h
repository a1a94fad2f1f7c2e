#pragma once

#include "generate/generationsettings.h"
#include "project/project.h"

#include <QByteArray>

namespace kestrinref {

/** The ".art" file of `project` made the plain way, as the oracle for the
 *  generation: all working images copied into one combined pixel buffer,
 *  IndexedImage::build over it (plain octree descent, exhaustive 256-entry
 *  search per distinct colour), the index-0 swap over the whole index buffer, and the
 *  file assembled in memory behind the same header encoder. Expects a
 *  project that the generation accepts (at least one stage, equal frame
 *  counts, fewer than 2^32 pixels); returns an empty array otherwise. Slow and
 *  memory-hungry by design: for the tests and the benchmark only. */
QByteArray referenceArtFile(const kestrin::Project &project, const kestrin::GenerationSettings &settings);

/** The same oracle for the colour settings of the octree path, without
 *  dithering: every pixel classified by the background rule on its own; the
 *  content pixels (all of them without a background) copied into one buffer
 *  and quantized by the plain octree to the budget (budget - 1 with a
 *  background), or the palette file's entries taken as they stand; every
 *  content colour mapped by the exhaustive search over its allowed entries
 *  (0..budget-1 or 0..count-1, from 1 with a background); background pixels
 *  0 and entry 0 the key (or black, or the file's entry 0); the index-0 swap
 *  only for a made palette without background. `palette` is the file's
 *  palette when settings name one (the oracle reads no file). */
QByteArray referenceArtFile(const kestrin::Project &project, const kestrin::GenerationSettings &settings,
                            const quint8 *palette, int paletteEntries);

} // namespace kestrinref
