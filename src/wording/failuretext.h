#pragma once

// The words the front ends give a failure: the window and kestrin-art share
// them, the core never uses them.

#include "decode/imagedecoder.h"
#include "fileio/failure.h"
#include "generate/jobfailure.h"
#include "palettes/palettefailure.h"
#include "project/framefailure.h"

#include <QString>

namespace kestrin {

/** The failure as one plain sentence without the path, for front ends that
 *  have no wording of their own for its kind ("No space left on device",
 *  "Number of frames differ in stage 2: expected 4, found 3", ...). Empty for
 *  FailureKind::None. */
[[nodiscard]] QString describeFailure(const Failure &failure);

/** The name of the kind, as scripts read it (e.g. "cannot-write-file"). */
[[nodiscard]] QString failureKindName(FailureKind kind);

} // namespace kestrin
