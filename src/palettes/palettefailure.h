#pragma once

// The kinds of failure of reading a palette file and of its fit to a job.

#include "fileio/failure.h"

namespace kestrin {

enum class PaletteFailure : quint8 {
    UnknownPaletteFormat = 1, // path: the palette file; reason: its suffix
    PaletteLineError,         // path, reason; found: the line (from 1) of a text palette
    PaletteByteError,         // path, reason; found: the byte offset in a binary palette, -1 when the reason says where
    PaletteTooLarge,          // path; found: the number of entries (more than expected = 256)
    PaletteTooSmall,          // path; found: the number of entries; expected: the fewest the job needs
};
constexpr FailureRoom failureRoomOf(PaletteFailure)
{
    return FailureRoom::Palettes;
}

} // namespace kestrin
