#pragma once

#include "artfile/artwriter.h"

#include <QString>

#include <functional>

namespace kestrin {

/** Progress of a run: a status text and the bar's value (0..100). A value
 *  below 0 means "leave the bar as it is". Texts come before their values. */
using GenerationProgress = std::function<void(const QString &text, int value)>;

/** Outcome of a generation run. */
struct GenerationResult {
    bool ok = false;        // the file was written and committed
    bool showBox = false;   // a "Generator Error" warning must be shown with boxText
    QString boxText;        // the warning's text when showBox is set
    QString writeError;     // why writing or committing failed (no box of its own)
};

/** Turns `project` into the ".art" file at `targetPath` (used as given, any
 *  Unicode). In order: no stages -> status "No stages found..." and no box; a
 *  rotatable project without 8 stages, a palette count outside 1..4, or a
 *  target that cannot be created -> box; "Preparing generator..." 0; stages
 *  whose frame count differs from stage 0's, or a frame or file beyond the
 *  format's 32-bit fields -> box; "Reducing colors..." 20; "Fixing color
 *  indices..." 40; "Generating Art..." 60 (the file is written and
 *  committed; a failure returns ok = false with writeError); "Cleaning up..."
 *  80; "Generation completed..." 100.
 *
 *  The file is saved atomically: whatever fails, an existing target is left
 *  byte for byte as it was. The project is only read. Processes no events. */
[[nodiscard]] GenerationResult runGeneration(const Project &project, const GenerationSettings &settings,
                                             const QString &targetPath, const GenerationProgress &progress);

} // namespace kestrin
