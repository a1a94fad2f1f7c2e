#pragma once

#include "artfile/artformat.h"
#include "fileio/failure.h"
#include "generate/generationsettings.h"
#include "project/project.h"
#include "quantize/backgroundrule.h"

#include <QPoint>

#include <memory>
#include <vector>

namespace kestrin {

class KnownColors;
class NearestColorMap;
class NearestColorMemo;
struct PaletteFile;

/** The colour settings of a generation as the reduction consumes them. */
struct ColorOptions {
    BackgroundRule background;                       // nothing is background by default
    quint32 budget = 256;                            // 2..256 entries may be used
    QuantizerKind quantizer = QuantizerKind::Octree; // when no fixed palette is given
    DitherKind dither = DitherKind::None;
    const PaletteFile *fixed = nullptr; // entries used as they stand; not owned
    int threads = 1;                    // worker threads, at least 1
};

/** The options of `settings`, without the palette file (which the caller
 *  reads and points `fixed` at). Threads are resolved (0 = one per core). */
[[nodiscard]] ColorOptions colorOptionsOf(const GenerationSettings &settings);

/** Checks the colour settings and reads the palette file they name, if
 *  any, into `palette`; on success `options` holds the options, with
 *  `fixed` pointing at `palette` when a file was read.
 *
 *  Failures: BadColorSettings (a budget outside 2..256, a key tolerance
 *  outside 0..442, an alpha threshold outside 0..255, a negative thread
 *  count, or a palette file together with a budget or the refined
 *  quantizer), the failures of readPaletteFile, and PaletteTooSmall for a
 *  file with a single entry when entry 0 is the background's. */
[[nodiscard]] Failure prepareColorOptions(const GenerationSettings &settings, PaletteFile *palette,
                                          ColorOptions *options);

class OctreeQuantizer;
class ColorHistogram;

/** The first stage of the colour reduction, run while the frames are
 *  still arriving (later files decoding on other threads): the octree, or
 *  the refined quantizer's histogram, fed one frame at a time.
 *
 *  The caller adds the working image of every frame of the project, as the
 *  generation will see it, in the order the reduction visits them (stage
 *  by stage, frame by frame), then calls finish(). A reduction given a
 *  finished feed takes its octree as given and reads no frame for it; the
 *  palette is then the one the reduction would have made from those images.
 *
 *  Only a palette built from the frames can be fed: by the octree from
 *  whole frames (no background), or by the refined quantizer from the
 *  content pixels (any background rule). With a palette file, or the octree
 *  and a background, feeds() is false, add() does nothing and the reduction
 *  reads the frames itself. */
class ColorFeed
{
public:
    explicit ColorFeed(const GenerationSettings &settings);
    ~ColorFeed();
    ColorFeed(const ColorFeed &) = delete;
    ColorFeed &operator=(const ColorFeed &) = delete;

    /** True when the settings' palette is built from what this feed is given. */
    bool feeds() const { return m_leaves != 0 || m_histogram; }
    /** Adds the pixels of `frame`'s working image as it is now; not after finish(). */
    void add(const Frame &frame);
    /** Ends the feed: the next frame the caller adds is none. */
    void finish() { m_finished = true; }
    bool finished() const { return m_finished; }

private:
    friend class ColorReduction;
    std::unique_ptr<OctreeQuantizer> m_quantizer; // null when it does not feed, or once a reduction took it over
    quint32 m_leaves = 0;                         // the octree's colour limit; 0 when it does not feed
    std::unique_ptr<ColorHistogram> m_histogram;  // the refined quantizer's, until a reduction takes it over
    BackgroundRule m_background;                  // what the histogram leaves out
    bool m_finished = false;
};

/** The one palette of a project and the exact mapping of its pixels.
 *
 *  Where the palette comes from:
 *  - octree (the window's): every content pixel, frame after frame, goes to
 *    an octree quantizer of depth 6 that folds to the budget (budget - 1
 *    with a background); the palette is the one that quantizing the
 *    concatenation of those pixels gives;
 *  - refined: refinePalette() over the histogram of the content pixels;
 *  - a fixed palette: the file's entries in the file's order.
 *
 *  Which entries a content pixel may take, always its exact nearest among
 *  them with the lowest index on ties: for a palette made here, entries
 *  0..budget-1 (1..budget-1 with a background), the unused ones (zero,
 *  black) included as the window includes them; for a fixed palette, the
 *  file's entries 0..count-1 (1..count-1 with a background).
 *
 *  With a background, entry 0 is the key colour (black without a key; the
 *  file's own entry 0 for a fixed palette) and every background pixel, and
 *  no other, gets index 0. Without one, a made palette moves the entry of
 *  the project's first pixel to index 0 (fixIndexZero); a fixed palette
 *  keeps its order.
 *
 *  With the default options this is exactly the window's reduction. */
class ColorReduction
{
public:
    ColorReduction(const Project &project, quint32 framesPerStage);
    /** `options.fixed` must stay valid while the reduction is built. `fed`,
     *  when given, is a finished feed made for the same settings that saw
     *  the project's frames (see ColorFeed); its octree is taken over as it
     *  stands. */
    ColorReduction(const Project &project, quint32 framesPerStage, const ColorOptions &options,
                   ColorFeed *fed = nullptr);
    ~ColorReduction();
    ColorReduction(const ColorReduction &) = delete;
    ColorReduction &operator=(const ColorReduction &) = delete;

    /** Finds q, the entry of the first pixel of the first frame that has
     *  pixels, swaps palette entries 0 and q, and from then on maps q to 0 and
     *  0 to q. Does nothing when the project has no pixels, and nothing with
     *  a background or a fixed palette, which keep their entry 0. */
    void fixIndexZero(const Project &project, quint32 framesPerStage);

    const quint8 *palette() const { return m_palette; }
    quint32 colorCount() const { return m_colorCount; }
    quint8 firstIndex() const { return m_firstIndex; } // q; 0 before the fix

    /** Maps `count` pixels to their final indices. `map` must be made by
     *  makeSearchMap() and used by one thread at a time; `memo` holds final
     *  indices of colours seen before and may be shared by threads (it is
     *  only valid for this reduction after fixIndexZero()). */
    void mapPixels(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, quint64 count,
                   quint8 *out) const;
    /** Maps one whole frame with the options' dithering: error diffusion
     *  (ditherFrame) or the ordered pattern (orderedDitherFrame), whose
     *  positions count from `origin`, the frame's top-left pixel in its
     *  untrimmed image. */
    void mapFrameDithered(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, int width, int height,
                          QPoint origin, quint8 *out, std::vector<int> &scratch) const;

    /** The palette as it was made (before the swap), for searching. */
    const quint8 *searchPalette() const { return m_searchPalette; }
    int searchFirst() const { return m_searchFirst; }
    int searchEnd() const { return m_searchEnd; }
    /** A search over exactly the entries content pixels may take. */
    NearestColorMap *makeSearchMap() const;

    const BackgroundRule &background() const { return m_options.background; }
    /** True when pixels are mapped frame by frame (mapFrameDithered). */
    bool dithers() const { return m_options.dither != DitherKind::None; }
    int threads() const { return m_options.threads; }

    /** Content pixels whose alpha was not 255 and were taken as opaque, and
     *  the frames holding them; counted with a background only. */
    quint64 madeOpaquePixels() const { return m_madeOpaquePixels; }
    quint64 madeOpaqueFrames() const { return m_madeOpaqueFrames; }

private:
    void useOctree(const Project &project, quint32 framesPerStage, quint8 *entries, ColorFeed *fed);
    void useRefined(const Project &project, quint32 framesPerStage, quint8 *entries, ColorFeed *fed);
    void refineFrom(const ColorHistogram &histogram, quint8 *entries);
    void countMadeOpaque(const Project &project, quint32 framesPerStage);
    quint8 nearestFinal(NearestColorMap &map, NearestColorMemo &memo, quint32 rgb) const;
    void measureQuietErrors();

    ColorOptions m_options;
    quint8 m_palette[art::kPaletteSize] = {};
    quint8 m_searchPalette[art::kPaletteSize] = {};
    quint8 m_final[256]; // index in the made palette -> index in the file
    int m_quiet[256];    // by file index: squared error length that error diffusion drops
    quint32 m_colorCount = 0;
    quint8 m_firstIndex = 0;
    int m_searchFirst = 0;
    int m_searchEnd = 256;
    bool m_movesIndexZero = true;
    quint64 m_madeOpaquePixels = 0;
    quint64 m_madeOpaqueFrames = 0;
    std::vector<quint32> m_knownColors;   // the pixels' colours, until m_known is made from them
    std::unique_ptr<KnownColors> m_known; // made-palette index of every pixel colour; null when not worth it
};

} // namespace kestrin
