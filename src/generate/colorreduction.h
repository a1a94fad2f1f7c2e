#pragma once

#include "artfile/artformat.h"
#include "project/project.h"

#include <memory>
#include <vector>

namespace kestrin {

class NearestColorMap;
class NearestColorMemo;
class OctreeQuantizer;

/** The colour reduction's octree, fed one frame at a time while the frames
 *  are still arriving (later files decoding on other threads). A
 *  ColorReduction takes it over when it was fed exactly the working images
 *  that the reduction would feed itself, in the same order; otherwise it is
 *  left unused. */
class ColorFeed
{
public:
    ColorFeed();
    ~ColorFeed();
    ColorFeed(const ColorFeed &) = delete;
    ColorFeed &operator=(const ColorFeed &) = delete;

    /** Adds the pixels of `frame`'s working image as it is now. */
    void add(const Frame &frame);

private:
    friend class ColorReduction;
    std::unique_ptr<OctreeQuantizer> quantizer; // null once a reduction took it over
    std::vector<qint64> imageKeys;              // QImage::cacheKey() of every image added, in order
};

/** The one palette of a project and the exact mapping of its pixels.
 *
 *  Construction feeds every working image, in frame order, to an octree
 *  quantizer (256 colours, depth 6): the palette is the one that quantizing
 *  the concatenation of all frames gives. fixIndexZero() then moves the entry
 *  of the project's first pixel to index 0. mapPixels() maps pixels to the
 *  indices that the exhaustive nearest-entry search gives, after that move. */
class ColorReduction
{
public:
    /** With `fed`, the octree of `fed` is taken over instead of being built
     *  again when it saw the same images in the same order (the palette is
     *  the same either way). */
    ColorReduction(const Project &project, quint32 framesPerStage, ColorFeed *fed = nullptr);
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

} // namespace kestrin
