#include "quantize/nearestcolor.h"

#include "quantize/parallelranges.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace kestrin {

namespace {
constexpr int kCoarseShift = 5; // 8^3 coarse cells of 32^3 colours
constexpr int kFineShift = 3;   // 32^3 fine cells of 8^3 colours
constexpr size_t kBlockSize = 1 << 14;

int squared(int v)
{
    return v * v;
}
} // namespace

// Keeps, in order, the candidates of `from` that can be nearest to some colour
// in `box`: those whose smallest possible distance to the box does not exceed
// the smallest over all candidates of their largest possible distance.
void NearestColorMap::filter(const std::vector<Candidate> &from, const Box &box, std::vector<Candidate> &to)
{
    to.clear();
    int bound = INT_MAX;
    for (const Candidate &c : from) {
        const int v[3] = {c.blue, c.green, c.red};
        int far = c.bias;
        for (int k = 0; k < 3; ++k)
            far += std::max(squared(v[k] - box.lo[k]), squared(v[k] - box.hi[k]));
        bound = std::min(bound, far);
    }
    for (const Candidate &c : from) {
        const int v[3] = {c.blue, c.green, c.red};
        int near = c.bias;
        for (int k = 0; k < 3; ++k) {
            if (v[k] < box.lo[k])
                near += squared(box.lo[k] - v[k]);
            else if (v[k] > box.hi[k])
                near += squared(v[k] - box.hi[k]);
        }
        if (near <= bound)
            to.push_back(c);
    }
}

NearestColorMap::NearestColorMap(const quint8 *palette, int first, int end)
    : m_coarse(size_t(1) << (3 * (8 - kCoarseShift))),
      m_cells(static_cast<Cell *>(std::calloc(size_t(1) << (3 * (8 - kFineShift)), sizeof(Cell)))),
      m_recentColor(size_t(1) << kRecentBits, 0xffffffffu),
      m_recentIndex(size_t(1) << kRecentBits, 0)
{
    if (!m_cells)
        throw std::bad_alloc();
    first = std::clamp(first, 0, 255);
    end = std::clamp(end, first + 1, 256);
    // A repeated entry can never win over its first occurrence, because the
    // comparison is strict, so only first occurrences are kept.
    for (int i = first; i < end; ++i) {
        const quint8 *e = palette + 4 * i;
        const Candidate c{e[0], e[1], e[2], squared(255 - e[3]), quint8(i)};
        const bool seen = std::any_of(m_distinct.begin(), m_distinct.end(), [&](const Candidate &d) {
            return d.blue == c.blue && d.green == c.green && d.red == c.red && d.bias == c.bias;
        });
        if (!seen)
            m_distinct.push_back(c);
    }
}

void NearestColorMap::Free::operator()(void *memory) const
{
    std::free(memory);
}

NearestColorMap::~NearestColorMap()
{
    for (Candidate *block : m_blocks)
        delete[] block;
}

const NearestColorMap::Candidate *NearestColorMap::store(const std::vector<Candidate> &list)
{
    if (m_blocks.empty() || m_blockUsed + list.size() > kBlockSize) {
        m_blocks.push_back(new Candidate[kBlockSize]);
        m_blockUsed = 0;
    }
    Candidate *at = m_blocks.back() + m_blockUsed;
    std::copy(list.begin(), list.end(), at);
    m_blockUsed += list.size();
    return at;
}

void NearestColorMap::makeCell(Cell &cell, int blue, int green, int red)
{
    const int cb = blue >> kCoarseShift, cg = green >> kCoarseShift, cr = red >> kCoarseShift;
    std::vector<Candidate> &parent = m_coarse[(cr << 6) | (cg << 3) | cb];
    if (parent.empty()) {
        const int size = 1 << kCoarseShift;
        const Box box{{cb * size, cg * size, cr * size},
                      {cb * size + size - 1, cg * size + size - 1, cr * size + size - 1}};
        filter(m_distinct, box, parent);
    }
    const int size = 1 << kFineShift;
    const int fb = blue >> kFineShift, fg = green >> kFineShift, fr = red >> kFineShift;
    const Box box{{fb * size, fg * size, fr * size},
                  {fb * size + size - 1, fg * size + size - 1, fr * size + size - 1}};
    filter(parent, box, m_scratch);
    cell.list = store(m_scratch);
    cell.count = quint32(m_scratch.size());
    ++m_madeCells;
    m_madeCandidates += m_scratch.size();
}

quint8 NearestColorMap::searchCell(Cell &cell, int blue, int green, int red)
{
    if (cell.count == 0) {
        makeCell(cell, blue, green, red);
        if (cell.count == 1)
            return cell.list->index;
    }
    const quint32 color = quint32(red) << 16 | quint32(green) << 8 | quint32(blue);
    const quint32 slot = (color * 0x9E3779B1u) >> (32 - kRecentBits);
    if (m_recentColor[slot] == color)
        return m_recentIndex[slot];
    const Candidate *c = cell.list;
    const Candidate *end = c + cell.count;
    int best = INT_MAX;
    quint8 bestIndex = c->index;
    for (; c != end; ++c) {
        const int d = squared(c->blue - blue) + squared(c->green - green) + squared(c->red - red) + c->bias;
        if (d < best) {
            best = d;
            bestIndex = c->index;
        }
    }
    m_recentColor[slot] = color;
    m_recentIndex[slot] = bestIndex;
    return bestIndex;
}

double NearestColorMap::averageCandidates() const
{
    return m_madeCells ? double(m_madeCandidates) / double(m_madeCells) : 0.0;
}

namespace {

/** Entries sorted along one axis (a channel or the grey axis), searched
 *  outwards from a colour's own place along it. */
class AxisSearch
{
public:
    AxisSearch(const quint8 *palette, int first, int end)
    {
        first = std::clamp(first, 0, 255);
        end = std::clamp(end, first + 1, 256);
        // The direction along which the entries spread most rules out the
        // most: one of the channels, or their sum (the grey axis, along
        // which shaded sprite colours mostly lie). A distance along the sum
        // is sqrt(3) times the distance in colour space at most.
        double spread[4] = {};
        for (int k = 0; k < 4; ++k) {
            double sum = 0, squares = 0;
            for (int i = first; i < end; ++i) {
                const double v = keyOf(palette + 4 * i, k);
                sum += v;
                squares += v * v;
            }
            spread[k] = (squares - sum * sum / double(end - first)) / (k == 3 ? 3.0 : 1.0);
        }
        m_axis = int(std::max_element(spread, spread + 4) - spread);
        m_scale = m_axis == 3 ? 3 : 1;
        m_minBias = INT_MAX;
        for (int i = first; i < end; ++i) {
            const quint8 *e = palette + 4 * i;
            const Entry entry{keyOf(e, m_axis), e[0], e[1], e[2], squared(255 - e[3]), i};
            m_minBias = std::min(m_minBias, entry.bias);
            m_entries.push_back(entry);
        }
        std::stable_sort(m_entries.begin(), m_entries.end(),
                         [](const Entry &a, const Entry &b) { return a.key < b.key; });
        // Where each value along the axis would stand among the entries.
        m_firstAtOrAbove.assign(766, int(m_entries.size()));
        for (int place = int(m_entries.size()) - 1; place >= 0; --place)
            m_firstAtOrAbove[size_t(m_entries[size_t(place)].key)] = place;
        for (int v = 764; v >= 0; --v)
            m_firstAtOrAbove[size_t(v)] = std::min(m_firstAtOrAbove[size_t(v)], m_firstAtOrAbove[size_t(v) + 1]);
    }

    /** The lowest index among the entries nearest to `color` (0x00RRGGBB).
     *  `hint` is an entry to measure first (the answer for a neighbouring
     *  colour is usually near): the closer it is, the sooner the search
     *  stops. It gets the answer's place among the entries. */
    quint8 search(quint32 color, int &hint) const
    {
        const int c[3] = {int(color & 0xff), int((color >> 8) & 0xff), int((color >> 16) & 0xff)};
        const int key = m_axis == 3 ? c[0] + c[1] + c[2] : c[m_axis];
        const int count = int(m_entries.size());
        int best = INT_MAX, bestIndex = 256, bestPlace = 0;
        const auto visit = [&](int place) {
            const Entry &e = m_entries[size_t(place)];
            const int d = squared(e.blue - c[0]) + squared(e.green - c[1]) + squared(e.red - c[2]) + e.bias;
            if (d < best || (d == best && e.index < bestIndex)) {
                best = d;
                bestIndex = e.index;
                bestPlace = place;
            }
        };
        if (hint >= 0 && hint < count)
            visit(hint);
        // An entry `gap` away along the axis is at least gap^2 / scale + the
        // least bias away: once that exceeds the best, no entry farther out
        // on that side can win or tie. Each side is walked on its own, which
        // keeps the branches predictable.
        const auto beyondReach
            = [&](int gap) { return qint64(squared(gap)) > qint64(m_scale) * (qint64(best) - m_minBias); };
        const int start = m_firstAtOrAbove[size_t(key)];
        for (int right = start; right < count && !beyondReach(m_entries[size_t(right)].key - key); ++right)
            visit(right);
        for (int left = start - 1; left >= 0 && !beyondReach(key - m_entries[size_t(left)].key); --left)
            visit(left);
        hint = bestPlace;
        return quint8(bestIndex);
    }

private:
    struct Entry {
        int key; // the value along the sorting axis
        int blue, green, red;
        int bias;
        int index;
    };
    std::vector<Entry> m_entries;
    std::vector<int> m_firstAtOrAbove; // per value along the axis (0..765): the first entry at or above it
    int m_axis = 0;                    // 0-2: blue, green, red; 3: their sum
    int m_scale = 1;                   // 3 along the sum
    int m_minBias = 0;

    static int keyOf(const quint8 *entry, int axis) { return axis == 3 ? entry[0] + entry[1] + entry[2] : entry[axis]; }
};

} // namespace

KnownColors::KnownColors(const std::vector<quint32> &colors, const quint8 *palette, int first, int end, int threads)
{
    // At most half full, so that probes stay short.
    quint32 capacity = 2;
    while (capacity < 2 * quint64(colors.size()))
        capacity *= 2;
    m_keys.assign(capacity, kEmpty);
    m_indices.assign(capacity, 0);
    m_mask = capacity - 1;
    m_hashShift = 64;
    for (quint32 c = capacity; c > 1; c /= 2)
        --m_hashShift;
    std::vector<quint32> slots(colors.size());
    for (size_t i = 0; i < colors.size(); ++i) {
        const quint32 color = colors[i] & 0xffffff;
        quint32 at = slotOf(color);
        while (m_keys[at] != kEmpty && m_keys[at] != color)
            at = (at + 1) & m_mask;
        m_keys[at] = color;
        slots[i] = at;
    }
    const AxisSearch search(palette, first, end);
    // A thread costs about as much as searching a few thousand colours.
    const int parts = int(std::clamp<quint64>(colors.size() / 8192, 1, quint64(std::max(1, threads))));
    parallelRanges(parts, colors.size(), [&](int, quint64 begin, quint64 stop) {
        int hint = -1;
        for (quint64 i = begin; i < stop; ++i)
            m_indices[slots[i]] = search.search(colors[i] & 0xffffff, hint);
    });
}

namespace {
constexpr size_t kMemoBytes = (size_t(1) << 24) * sizeof(quint16);
#ifdef MADV_HUGEPAGE
constexpr size_t kHugePage = size_t(2) << 20;
#endif
} // namespace

// Zero pages that stay untouched until first use. On Linux the table sits in
// 2 MiB pages where the system allows them: random look-ups then miss the TLB
// far less, and the first write to a page costs one fault per 2 MiB instead of
// one per 4 KiB (each of which stalls the other mapping thread as well).
NearestColorMemo::NearestColorMemo(bool enabled)
{
    if (!enabled)
        return;
#ifdef MADV_HUGEPAGE
    void *raw = mmap(nullptr, kMemoBytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw != MAP_FAILED) {
        const quintptr base = reinterpret_cast<quintptr>(raw);
        const quintptr aligned = (base + kHugePage - 1) & ~quintptr(kHugePage - 1);
        madvise(reinterpret_cast<void *>(aligned), kMemoBytes, MADV_HUGEPAGE);
        m_mapping = raw;
        m_table = reinterpret_cast<quint16 *>(aligned);
        return;
    }
#endif
    m_table = static_cast<quint16 *>(std::calloc(kMemoBytes, 1));
    if (!m_table)
        throw std::bad_alloc();
}

NearestColorMemo::~NearestColorMemo()
{
#ifdef MADV_HUGEPAGE
    if (m_mapping) {
        munmap(m_mapping, kMemoBytes + kHugePage);
        return;
    }
#endif
    std::free(m_table);
}

} // namespace kestrin
