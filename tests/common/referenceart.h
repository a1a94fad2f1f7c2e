#pragma once

#include "generate/generationsettings.h"
#include "project/project.h"

#include <QByteArray>

namespace kestrinref {

/** The ".art" file of `project` made the plain way, as the oracle for the
 *  generation: all working images copied into one combined pixel buffer,
 *  IndexedImage::build over it (plain octree descent, exhaustive 256-entry
 *  search per pixel), the index-0 swap over the whole index buffer, and the
 *  file assembled in memory behind the same header encoder. Expects a
 *  project that the generation accepts (at least one stage, equal frame
 *  counts, fewer than 2^32 pixels); returns an empty array otherwise. Slow and
 *  memory-hungry by design: for the tests and the benchmark only. */
QByteArray referenceArtFile(const kestrin::Project &project, const kestrin::GenerationSettings &settings);

} // namespace kestrinref
