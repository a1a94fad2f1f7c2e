#pragma once

// The kinds of failure of finding and reading the frames of a folder (or of
// a list of files).

#include "fileio/failure.h"

namespace kestrin {

enum class FrameFailure : quint8 {
    NoSuchFolder = 1, // path: the folder given
    NotAFolder,       // path: the folder given
    NoFrameNumber,    // path: the pattern, which has no %2 for the frame number
    NameRepeats,      // path: the file name that two frames of the pattern share
    NameNeverChanges, // path: the one file every number names; found: how many frames that would make
    TooManyFrames,    // path: folder + pattern; expected: the limit
    RangeTooLarge,    // path: folder + pattern of the range that cannot be listed
    NoStagesFound,    // path: the folder; reason: the first name tried
    CannotLoadFrame,  // path: the frame file; reason: why it did not decode
    NotEnoughMemory,  // path: the folder; found: bytes the frames need, expected: bytes available
};
constexpr FailureRoom failureRoomOf(FrameFailure)
{
    return FailureRoom::Frames;
}

} // namespace kestrin
