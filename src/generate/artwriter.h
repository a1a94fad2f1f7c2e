#pragma once

#include "fileio/failure.h"
#include "generate/artplan.h"
#include "generate/generationsettings.h"

class QIODevice;

namespace kestrin {

class ColorReduction;

/** Writes the file described by `plan` to `device`: header, palettes and
 *  frame headers, then the index bytes of every frame, mapped and streamed in
 *  batches on the reduction's worker threads. Every write is checked:
 *  the first that fails ends the job with CannotWriteFile and the device's
 *  reason (the path is left empty for the caller to fill). When given,
 *  `mapNanoseconds` receives the time spent finding palette indices, the
 *  rest of the call being spent writing. */
[[nodiscard]] Failure writeArtData(QIODevice &device, const Project &project, const ArtPlan &plan,
                                   const ColorReduction &colors, qint64 *mapNanoseconds = nullptr);

} // namespace kestrin
