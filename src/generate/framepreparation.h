#pragma once

#include "project/frame.h"
#include "project/project.h"
#include "quantize/backgroundrule.h"

namespace kestrin {

struct GenerationSettings;

/** How each frame's working image is made from the image as loaded: the one
 *  rule that the window's "Apply" and a build's trimming both follow, so
 *  that a project gives the same frames, and the same file, either way. */
struct FramePreparation {
    bool trim = false;         // cut each frame to the bounds of its content
    bool useKey = false;       // pixels of the key colour become transparent ("Apply alpha")
    quint32 key = 0;           // the key colour, as keyColor() makes it
    BackgroundRule background; // when enabled: the content is what is not background
};

/** The preparation a generation with `settings` expects: their background
 *  rule, with `trim` and the key as given. */
[[nodiscard]] FramePreparation framePreparation(const GenerationSettings &settings, bool trim, bool useKey = false,
                                                quint32 key = 0);

/** Rebuilds `frame.workImage` from its source image by `rule`: the
 *  bounding-rectangle step, then the key step.
 *
 *  Without a background rule: trimmed to the pixels that differ from the
 *  top-left one (or the whole image again), then every pixel of the key
 *  colour made transparent when `useKey` holds and every other pixel made
 *  opaque. With a background rule, whose decisions may rest on alpha: trimmed
 *  to the pixels that are not background (or the whole image again), alpha
 *  kept as loaded; the key colour, when `useKey` holds, still becomes
 *  transparent, and nothing else changes. */
void prepareFrame(Frame &frame, const FramePreparation &rule);

/** The bounding-rectangle step of prepareFrame on every frame of every
 *  stage, in order (`useKey` and `key` unused). Returns false, and touches
 *  nothing, when the project has no stages; true otherwise. */
[[nodiscard]] bool trimFrames(Project &project, const FramePreparation &rule);

/** The key step of prepareFrame on every frame's working image, in order
 *  (`trim` unused); false, touching nothing, without stages. */
[[nodiscard]] bool keyFrames(Project &project, const FramePreparation &rule);

} // namespace kestrin
