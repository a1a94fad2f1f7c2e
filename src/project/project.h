#pragma once

#include "project/frame.h"

#include <memory>
#include <vector>

namespace kestrin {

/** One view direction of a rotatable sprite, or one run of a static one:
 *  its frames in playing order. `frameCount` always equals frames.size(). */
struct Stage {
    std::vector<std::unique_ptr<Frame>> frames; // owned, never null
    quint32 frameCount = 0;                     // number of entries in frames

    /** Appends a new frame in its initial state and returns it. */
    Frame *appendFrame();
    /** Destroys the frame at `index`; an index out of range is ignored. */
    void removeFrame(quint32 index);
};

/** The project being assembled: stages in direction order.
 *  `stageCount` always equals stages.size(). */
struct Project {
    std::vector<std::unique_ptr<Stage>> stages; // owned, never null
    quint32 stageCount = 0;                     // number of entries in stages

    /** Appends a new empty stage and returns it. */
    Stage *appendStage();
    /** Destroys the stage at `index` with its frames; out of range is ignored. */
    void removeStage(quint32 index);
    /** Destroys every stage and frame. */
    void clear();
};

} // namespace kestrin
