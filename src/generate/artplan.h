#pragma once

#include "artfile/artformat.h"
#include "fileio/failure.h"
#include "generate/generationsettings.h"
#include "project/project.h"

#include <vector>

namespace kestrin {

/** Everything in the file besides the palettes' colours and the index bytes. */
struct ArtPlan {
    quint32 paletteCount = 0;
    quint32 framesPerStage = 0; // F, the frame count of stage 0
    art::Header header;
    std::vector<art::FrameHeader> frames; // in frame order
    quint64 totalPixels = 0;
    quint64 fileSize = 0;
};

/** The pixels of one working image as 32-bit ARGB words, row after row.
 *  Images already in a 32-bit ARGB layout are used as they are (their raw
 *  words); any other format is converted to ARGB32 first, and so is a
 *  premultiplied image when `straight` asks for straight colour. */
struct FramePixels {
    explicit FramePixels(const Image &image, bool straight = false);
    Image image;                    // keeps the words alive
    const quint32 *words = nullptr; // null when the image has no pixels
    quint64 count = 0;              // width * height
};

/** Calls `fn(frame)` for the first `framesPerStage` frames of every stage, in frame order. */
template<typename Fn>
void forEachFrame(const Project &project, quint32 framesPerStage, Fn fn)
{
    for (quint32 s = 0; s < project.stageCount; ++s) {
        const Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < framesPerStage && f < stage.frameCount; ++f)
            fn(*stage.frames[f]);
    }
}

/** The checks that need nothing but the settings and the stage count, in the
 *  order they are made: at least one stage (NoStages), 8 stages for a
 *  rotatable sprite (WrongStageCount), 1..4 palettes (BadPaletteCount). */
[[nodiscard]] Failure checkSettings(const Project &project, const GenerationSettings &settings);

/** FrameCountMismatch naming the first stage whose frame count differs from
 *  stage 0's; no failure when they all agree (or there are no stages). */
[[nodiscard]] Failure checkFrameCounts(const Project &project);

/** Computes the header and frame headers of `project`, which must have at
 *  least one stage and equal frame counts. Fails with FrameTooLarge or
 *  FileTooLarge when a frame or the whole file would not fit the format's
 *  32-bit fields; sizes are computed in 64 bits. */
[[nodiscard]] Failure planArt(const Project &project, const GenerationSettings &settings, ArtPlan *plan);

} // namespace kestrin
