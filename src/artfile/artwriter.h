#pragma once

#include "artfile/artformat.h"
#include "project/project.h"

#include <QString>

#include <memory>
#include <vector>

class QIODevice;

namespace kestrin {

class NearestColorMap;
class NearestColorMemo;

/** The generation settings of the window (or of the command line). */
struct GenerationSettings {
    qint32 frameRate = 0;      // written as `rate`; 0 stands for 8
    qint32 hitFrame = 0;       // written as `actionFrame`; 0 stands for F - 1
    quint32 paletteCount = 1;  // palette copies, 1..4
    quint32 rotatable = 0;     // 1 = rotatable (8 stages), 0 = static
};

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
 *  words); any other format is converted to ARGB32 first. */
struct FramePixels {
    explicit FramePixels(const QImage &image);
    QImage image;                   // keeps the words alive
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

/** Empty when every stage holds as many frames as stage 0 (or there are no
 *  stages); otherwise the message naming the first stage that differs. */
QString frameCountMismatch(const Project &project);

/** Empty when `paletteCount` is 1..4; otherwise the message refusing it. */
QString paletteCountProblem(quint32 paletteCount);

/** Computes the header and frame headers of `project`, which must have at
 *  least one stage and equal frame counts. Returns false with a message in
 *  `error` when a frame or the whole file would not fit the format's 32-bit
 *  fields; sizes are computed in 64 bits. */
[[nodiscard]] bool planArt(const Project &project, const GenerationSettings &settings, ArtPlan *plan,
                           QString *error);

/** The one palette of a project and the exact mapping of its pixels.
 *
 *  Construction feeds every working image, in frame order, to an octree
 *  quantizer (256 colours, depth 6): the palette is the one that quantizing
 *  the concatenation of all frames gives. fixIndexZero() then moves the entry
 *  of the project's first pixel to index 0. index() maps a pixel to the index
 *  that the exhaustive nearest-entry search gives, after that move. */
class ColorReduction
{
public:
    ColorReduction(const Project &project, quint32 framesPerStage);
    ~ColorReduction();
    ColorReduction(const ColorReduction &) = delete;
    ColorReduction &operator=(const ColorReduction &) = delete;

    /** Finds q, the entry of the first pixel of the first frame that has
     *  pixels, swaps palette entries 0 and q, and from then on maps q to 0 and
     *  0 to q. Does nothing when the project has no pixels. */
    void fixIndexZero(const Project &project, quint32 framesPerStage);

    const quint8 *palette() const { return m_palette; }
    quint32 colorCount() const { return m_colorCount; }
    quint8 firstIndex() const { return m_firstIndex; } // q; 0 before the fix

    /** Maps `count` pixels to their final indices. `map` must be made from
     *  searchPalette() and used by one thread at a time; `memo` holds final
     *  indices of colours seen before and may be shared by threads (it is
     *  only valid for this reduction after fixIndexZero()). */
    void mapPixels(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, quint64 count,
                   quint8 *out) const;
    /** The palette as the quantizer gave it (before the swap), for searching. */
    const quint8 *searchPalette() const { return m_searchPalette; }

private:
    quint8 m_palette[art::paletteSize] = {};
    quint8 m_searchPalette[art::paletteSize] = {};
    quint8 m_final[256];      // quantizer index -> index in the file
    quint32 m_colorCount = 0;
    quint8 m_firstIndex = 0;
};

/** Writes the file described by `plan` to `device`: header, palettes, frame
 *  headers, then the index bytes of every frame, mapped and streamed in
 *  batches (two threads when the machine has them). Returns false with the
 *  device's error in `error` if a write fails. */
[[nodiscard]] bool writeArtData(QIODevice &device, const Project &project, const ArtPlan &plan,
                                const ColorReduction &colors, QString *error);

/** The whole file for `project` written to an open `device`: checks, colour
 *  reduction, index-0 fix and the data. Returns false with a message in
 *  `error` when the project cannot be written (no stages, frame counts that
 *  differ, palette count outside 1..4, sizes beyond the format) or a write fails. */
[[nodiscard]] bool writeArt(QIODevice &device, const Project &project, const GenerationSettings &settings,
                            QString *error);

/** writeArt() into the file `path`, saved atomically: an existing file is
 *  replaced only when everything was written and committed, and is left as
 *  it was otherwise. Returns false with the reason in `error`. */
[[nodiscard]] bool saveArt(const QString &path, const Project &project, const GenerationSettings &settings,
                           QString *error);

} // namespace kestrin
