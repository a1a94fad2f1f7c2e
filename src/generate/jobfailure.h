#pragma once

// The kinds of failure of the checks of a job before anything is written:
// the project, its settings and the project file that holds them.

#include "fileio/failure.h"

namespace kestrin {

enum class JobFailure : quint8 {
    NoStages = 1,       // the project has no stage at all
    WrongStageCount,    // a rotatable sprite without 8 stages; found: the stage count
    BadPaletteCount,    // found: the palette count asked for (1..4 allowed)
    FrameCountMismatch, // stage: the first stage that differs; expected: stage 0's count; found: its count
    FrameTooLarge,      // stage, frame, width, height; expected: the largest pixel count a frame may hold
    FileTooLarge,       // found: the file size it would have; expected: the largest the format allows
    BadProjectFile,     // path: the project file; reason: the key and what is wrong with it
    BadColorSettings,   // reason: which setting and what is wrong with it
};
constexpr FailureRoom failureRoomOf(JobFailure)
{
    return FailureRoom::Job;
}

} // namespace kestrin
