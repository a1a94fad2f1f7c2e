#pragma once

#include <QString>
#include <QtGlobal>

namespace kestrin {

/** How the palette is made when no palette file is given. */
enum class QuantizerKind {
    Octree,  // the window's octree (depth 6), folding to the colour budget
    Refined, // least squared RGB error: variance split, then weighted k-means
};

/** How pixels are mapped to palette entries. */
enum class DitherKind {
    None,           // every pixel gets its exact nearest entry
    FloydSteinberg, // serpentine error diffusion inside each frame
    Ordered,        // a fixed threshold pattern by position in the untrimmed frame
};

/** How a project becomes a file. The defaults are those of a window that has
 *  just opened; the window fills this from its widgets, the command line from
 *  its options, and the generation reads nothing else. With every colour
 *  field at its default the file is byte for byte the window's. */
struct GenerationSettings {
    qint32 frameRate = 0;     // written as `rate`; 0 stands for 8
    qint32 hitFrame = 0;      // written as `actionFrame`; 0 stands for F - 1
    quint32 paletteCount = 4; // palette copies, 1..4
    quint32 rotatable = 0;    // 1 = rotatable (8 stages), 0 = static

    // Background: when either rule is on, palette entry 0 is reserved for
    // the background, every background pixel gets index 0 and no other does.
    bool useKey = false;    // pixels near keyColor are background
    quint32 keyColor = 0;   // 0x00RRGGBB; also the colour written as entry 0
    int keyTolerance = 0;   // largest Euclidean RGB distance to the key, 0..442
    int alphaThreshold = 0; // 1..255: alpha below it is background; 0 = alpha ignored

    quint32 colorBudget = 256; // 2..256: indices stay below it, later entries are zero
    QuantizerKind quantizer = QuantizerKind::Octree;
    DitherKind dither = DitherKind::None;
    QString paletteFile; // .gpl, .pal, .act or .art whose entries are used as they stand; empty = make one
    int threads = 0;     // worker threads for every multi-threaded step; 0 = one per core

    /** True when entry 0 is reserved for background pixels. */
    bool backgroundMode() const { return useKey || alphaThreshold > 0; }
};

} // namespace kestrin
