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

ColorHistogram::ColorHistogram(quint32 maxBins) : m_maxBins(std::max(1u, maxBins))
{
    resize(std::min<quint64>(kFirstCapacity, capacityFor(m_maxBins)));
}

// The table grows as entries come, up to twice maxBins: few colours keep it
// small (and in cache); beyond kDenseCapacity slots it is never more than
// half full.
quint32 ColorHistogram::capacityFor(quint32 entries)
{
    quint32 capacity = 2;
    while (capacity < 2 * quint64(entries))
        capacity *= 2;
    return capacity;
}

void ColorHistogram::resize(quint32 capacity)
{
    std::vector<Slot> old(capacity);
    old.swap(m_table);
    m_mask = capacity - 1;
    m_hashShift = 64;
    for (quint32 c = capacity; c > 1; c /= 2)
        --m_hashShift;
    m_used = 0;
    for (const Slot &slot : old) {
        if (slot.key != kEmpty)
            addSlot(slot);
    }
}

ColorHistogram::Slot &ColorHistogram::slotFor(quint32 key)
{
    quint32 at = slotOf(key);
    while (m_table[at].key != key && m_table[at].key != kEmpty)
        at = (at + 1) & m_mask;
    Slot *slot = &m_table[at];
    if (slot->key == kEmpty) {
        const quint64 room = m_table.size() <= kDenseCapacity ? m_table.size() * 3 / 4 : m_table.size() / 2;
        if (m_used + 1 > room && m_table.size() < capacityFor(m_maxBins)) {
            resize(quint32(m_table.size() * 2));
            return slotFor(key);
        }
        slot->key = key;
        ++m_used;
    }
    return *slot;
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
    ++m_shift;
    for (Slot &slot : m_table) {
        if (slot.key != kEmpty)
            slot.key = coarserKey(slot.key, 1);
    }
    resize(quint32(m_table.size())); // re-sorts the slots, summing those that met
    // Coarser bins are fewer: a smaller table keeps the look-ups in cache.
    const quint32 fitting = std::max(kFirstCapacity, capacityFor(m_used));
    if (fitting < m_table.size())
        resize(fitting);
}

void ColorHistogram::add(const quint32 *pixels, quint64 count, const BackgroundRule &background)
{
    const bool filter = background.enabled();
    // Neighbouring pixels often share a bin: keep the last slot at hand
    // until the table changes shape.
    Slot *last = nullptr;
    quint32 lastKey = kEmpty;
    // Runs of one pixel value (a flat background above all) are tested once.
    quint32 lastPixel = count ? ~pixels[0] : 0;
    bool lastIsBackground = false;
    for (quint64 i = 0; i < count; ++i) {
        const quint32 pixel = pixels[i];
        if (filter) {
            if (pixel != lastPixel) {
                lastPixel = pixel;
                lastIsBackground = background.isBackground(pixel);
            }
            if (lastIsBackground)
                continue;
        }
        const quint32 key = coarserKey(pixel & 0xffffff, m_shift);
        if (key != lastKey) {
            // Most look-ups find their bin: that walk is done here, and only
            // a new bin goes through slotFor (which may grow the table).
            Slot *found = nullptr;
            for (quint32 at = slotOf(key);; at = (at + 1) & m_mask) {
                Slot &slot = m_table[at];
                if (slot.key == key) {
                    found = &slot;
                    break;
                }
                if (slot.key == kEmpty)
                    break;
            }
            last = found ? found : &slotFor(key); // valid until the table next changes: slotFor or coarsen()
            lastKey = key;
            if (m_used > m_maxBins) {
                coarsen();
                lastKey = kEmpty; // the bins changed; this pixel goes in afresh
                --i;              // (wraps at 0 and comes back with the loop's ++i)
                continue;
            }
        }
        last->count += 1;
        last->sum[0] += pixel & 0xff;
        last->sum[1] += (pixel >> 8) & 0xff;
        last->sum[2] += (pixel >> 16) & 0xff;
        ++m_pixels;
    }
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

std::vector<WeightedColor> ColorHistogram::colors(std::vector<quint32> *bins) const
{
    std::vector<const Slot *> used;
    used.reserve(m_used);
    for (const Slot &slot : m_table) {
        if (slot.key != kEmpty)
            used.push_back(&slot);
    }
    std::sort(used.begin(), used.end(), [](const Slot *a, const Slot *b) { return a->key < b->key; });
    std::vector<WeightedColor> out(used.size());
    if (bins) {
        bins->resize(used.size());
        for (size_t i = 0; i < used.size(); ++i)
            (*bins)[i] = used[i]->key;
    }
    for (size_t i = 0; i < used.size(); ++i) {
        out[i].count = used[i]->count;
        for (int k = 0; k < 3; ++k)
            out[i].sum[k] = used[i]->sum[k];
    }
    return out;
}

} // namespace kestrin
