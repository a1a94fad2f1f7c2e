#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <optional>

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

    /** Not a setting of the file: when set, the run reads it as each step
     *  begins and once more before the file takes its place; once true, the
     *  run stops with FailureKind(kestrin::FileFailure::Cancelled) and the target stays as it was.
     *  May be set from any thread. */
    const std::atomic_bool *cancel = nullptr;

    /** True when entry 0 is reserved for background pixels. */
    bool backgroundMode() const { return useKey || alphaThreshold > 0; }
};

/** The ranges the colour settings accept (checked by prepareColorOptions);
 *  0 as alphaThreshold stands for "alpha ignored" and is not offered as a value. */
constexpr int kMaxKeyTolerance = 442; // the distance from black to white
constexpr int kMinAlphaThreshold = 1;
constexpr int kMaxAlphaThreshold = 255;
constexpr quint32 kMinColorBudget = 2;
constexpr quint32 kMaxColorBudget = 256;

/** The names of the quantizers and dithering kinds as people choose them
 *  ("octree", "refined"; "none", "ordered", "floyd-steinberg"), every value of the enum,
 *  in the enum's order. */
[[nodiscard]] QStringList quantizerNames();
[[nodiscard]] QStringList ditherNames();
[[nodiscard]] QString quantizerName(QuantizerKind kind);
[[nodiscard]] QString ditherName(DitherKind kind);
/** "R,G,B" with each a whole number 0..255 (spaces around a number allowed),
 *  as 0x00RRGGBB; nothing for any other text. */
[[nodiscard]] std::optional<quint32> parseKeyColor(const QString &text);
/** 0x00RRGGBB as "R,G,B", the text parseKeyColor reads. */
[[nodiscard]] QString keyColorText(quint32 rgb);
/** The kind a name stands for; nothing for a name not in the list. */
[[nodiscard]] std::optional<QuantizerKind> quantizerNamed(const QString &name);
[[nodiscard]] std::optional<DitherKind> ditherNamed(const QString &name);

} // namespace kestrin
