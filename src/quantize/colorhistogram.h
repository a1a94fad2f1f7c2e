#pragma once

#include "quantize/backgroundrule.h"

#include <QtGlobal>

#include <vector>

namespace kestrin {

/** A group of pixels with the same colour, or in the same colour bin: how
 *  many there are and the sums of their channels. */
struct WeightedColor {
    quint64 count = 0;
    quint64 sum[3] = {}; // blue, green, red, each summed over the pixels

    double mean(int channel) const { return double(sum[channel]) / double(count); }
};

/** The colours of many pixels with their pixel counts, at most `maxBins`
 *  entries.
 *
 *  Every distinct colour has its own entry while there are no more than
 *  maxBins of them. Beyond that, colours are grouped into bins of 2^s
 *  values per channel (bins on the top 8 - s bits), with s the smallest
 *  shift for which all the pixels added fit in maxBins bins; the count and
 *  channel sums of each bin stay exact, so a bin's mean is the mean of its
 *  pixels. The result depends only on the multiset of pixels added, not on
 *  their order nor on how they were split between histograms that are then
 *  merged.
 *
 *  Memory: a table of 40-byte slots that grows with the entries, to at most
 *  2 * maxBins (rounded up to a power of two). */
class ColorHistogram
{
public:
    static constexpr quint32 kDefaultMaxBins = 1u << 17;

    explicit ColorHistogram(quint32 maxBins = kDefaultMaxBins);

    /** Adds the pixels that `background` does not take, by their colour
     *  (byte 3 is ignored). */
    void add(const quint32 *pixels, quint64 count, const BackgroundRule &background);
    /** Adds every pixel of `other` (whose maxBins must be the same). */
    void merge(const ColorHistogram &other);

    /** Bits dropped from each channel: 0 while every colour has its own entry. */
    int shift() const { return m_shift; }
    quint64 pixelCount() const { return m_pixels; }
    quint32 size() const { return m_used; }

    /** The entries in increasing order of their bin (red, green, blue);
     *  `bins`, when given, receives each entry's bin in the same order
     *  (its colour 0x00RRGGBB while shift() is 0). */
    std::vector<WeightedColor> colors(std::vector<quint32> *bins = nullptr) const;

private:
    struct Slot {
        quint32 key = kEmpty; // (red << 16 | green << 8 | blue) >> shift per channel
        quint32 unused = 0;
        quint64 count = 0;
        quint64 sum[3] = {};
    };
    static constexpr quint32 kEmpty = 0xffffffffu;

    static constexpr quint32 kFirstCapacity = 1u << 12;
    // Tables up to this many slots fill to three quarters before they grow:
    // growing costs a small job more (fresh pages, every entry placed again)
    // than the longer probes of a table that fits in cache.
    static constexpr quint32 kDenseCapacity = 1u << 14;
    static quint32 capacityFor(quint32 entries);

    // Fibonacci hashing spreads neighbouring colours over the table; a table
    // larger than kDenseCapacity is never more than half full, so probes stay
    // short.
    quint32 slotOf(quint32 key) const { return quint32((quint64(key) * 0x9E3779B97F4A7C15ull) >> m_hashShift); }
    Slot &slotFor(quint32 key);
    void resize(quint32 capacity);
    void addSlot(const Slot &slot);
    void coarsen();

    std::vector<Slot> m_table;
    quint32 m_mask = 0;
    int m_hashShift = 63; // 64 - log2(table size): the top bits of the hash pick the slot
    quint32 m_maxBins;
    quint32 m_used = 0;
    int m_shift = 0;
    quint64 m_pixels = 0;
};

} // namespace kestrin
