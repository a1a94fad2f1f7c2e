#pragma once

#include <QtGlobal>

namespace kestrin {

/** How a project becomes a file. The defaults are those of a window that has
 *  just opened; the window fills this from its widgets, the command line from
 *  its options, and the generation reads nothing else. */
struct GenerationSettings {
    qint32 frameRate = 0;     // written as `rate`; 0 stands for 8
    qint32 hitFrame = 0;      // written as `actionFrame`; 0 stands for F - 1
    quint32 paletteCount = 4; // palette copies, 1..4
    quint32 rotatable = 0;    // 1 = rotatable (8 stages), 0 = static
};

} // namespace kestrin
