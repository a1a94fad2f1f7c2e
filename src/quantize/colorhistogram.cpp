#include "quantize/colorhistogram.h"

#include <algorithm>

namespace kestrin {

namespace {

/** The bin of a colour key after dropping `bits` more bits per channel. */
quint32 coarserKey(quint32 key, int bits)
{
    const quint32 channel = 0xffu >> bits;
    return (key >> bits) & (channel << 16 | channel << 8 | channel);
}

} // namespace

ColorHistogram::ColorHistogram(quint32 maxBins)
    : m_maxBins(std::max(1u, maxBins))
{
    quint32 capacity = 2;
    while (capacity < 2 * quint64(m_maxBins))
        capacity *= 2;
    m_table.resize(capacity);
    m_mask = capacity - 1;
    m_hashShift = 64;
    for (quint32 c = capacity; c > 1; c /= 2)
        --m_hashShift;
}

ColorHistogram::Slot &ColorHistogram::slotFor(quint32 key)
{
    // Fibonacci hashing spreads neighbouring colours over the table; the
    // table is never more than half full, so probes stay short.
    quint32 at = quint32((quint64(key) * 0x9E3779B97F4A7C15ull) >> m_hashShift);
    while (m_table[at].key != key && m_table[at].key != kEmpty)
        at = (at + 1) & m_mask;
    Slot &slot = m_table[at];
    if (slot.key == kEmpty) {
        slot.key = key;
        ++m_used;
    }
    return slot;
}

void ColorHistogram::addRun(quint32 rgb, quint64 run)
{
    const quint32 key = coarserKey(rgb, m_shift);
    Slot &slot = slotFor(key);
    slot.count += run;
    slot.sum[0] += run * (rgb & 0xff);
    slot.sum[1] += run * ((rgb >> 8) & 0xff);
    slot.sum[2] += run * ((rgb >> 16) & 0xff);
    m_pixels += run;
    while (m_used > m_maxBins)
        coarsen();
}

void ColorHistogram::addSlot(const Slot &from)
{
    Slot &slot = slotFor(from.key);
    slot.count += from.count;
    for (int k = 0; k < 3; ++k)
        slot.sum[k] += from.sum[k];
}

// Every entry moves to the bin one bit coarser; entries that meet are summed.
void ColorHistogram::coarsen()
{
    std::vector<Slot> old(m_table.size());
    old.swap(m_table);
    m_used = 0;
    ++m_shift;
    for (Slot &slot : old) {
        if (slot.key == kEmpty)
            continue;
        slot.key = coarserKey(slot.key, 1);
        addSlot(slot);
    }
}

void ColorHistogram::add(const quint32 *pixels, quint64 count, const BackgroundRule &background)
{
    const bool filter = background.enabled();
    quint32 runRgb = 0;
    quint64 run = 0;
    for (quint64 i = 0; i < count; ++i) {
        const quint32 pixel = pixels[i];
        if (filter && background.isBackground(pixel))
            continue;
        const quint32 rgb = pixel & 0xffffff;
        if (run && rgb == runRgb) {
            ++run;
            continue;
        }
        if (run)
            addRun(runRgb, run);
        runRgb = rgb;
        run = 1;
    }
    if (run)
        addRun(runRgb, run);
}

void ColorHistogram::merge(const ColorHistogram &other)
{
    while (m_shift < other.m_shift)
        coarsen();
    for (const Slot &from : other.m_table) {
        if (from.key == kEmpty)
            continue;
        Slot slot = from;
        slot.key = coarserKey(from.key, m_shift - other.m_shift); // m_shift may grow inside this loop
        addSlot(slot);
        m_pixels += from.count;
        while (m_used > m_maxBins)
            coarsen();
    }
}

std::vector<WeightedColor> ColorHistogram::colors() const
{
    std::vector<const Slot *> used;
    used.reserve(m_used);
    for (const Slot &slot : m_table) {
        if (slot.key != kEmpty)
            used.push_back(&slot);
    }
    std::sort(used.begin(), used.end(), [](const Slot *a, const Slot *b) { return a->key < b->key; });
    std::vector<WeightedColor> out(used.size());
    for (size_t i = 0; i < used.size(); ++i) {
        out[i].count = used[i]->count;
        for (int k = 0; k < 3; ++k)
            out[i].sum[k] = used[i]->sum[k];
    }
    return out;
}

} // namespace kestrin
