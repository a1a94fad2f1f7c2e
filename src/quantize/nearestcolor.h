#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

namespace kestrin {

/** Exact nearest-entry search over a 256-entry palette (4 bytes per entry:
 *  blue, green, red, byte 3), for pixels compared as fully opaque.
 *
 *  search() returns exactly what the exhaustive search over all 256 entries
 *  returns: the lowest index among the entries at
 *  the smallest distance (255 - byte 3)^2 + (blue - b)^2 + (green - g)^2 +
 *  (red - r)^2, where an entry must be strictly closer than 260100 (the
 *  largest possible distance) to be chosen, else 0. That last rule needs no
 *  code of its own: a distance of 260100 to the nearest entry means every
 *  entry is at 260100, so the lowest tying index is 0 anyway.
 *
 *  How: colour space is cut into 32^3 cells of 8^3 colours. Each cell keeps
 *  the entries that can be nearest to some colour inside it (an entry is
 *  dropped only when its closest possible distance to the cell exceeds the
 *  farthest distance of some other entry), in index order, so ties still go
 *  to the lowest index. Identical entries are kept once, at their lowest index.
 *  Most cells hold one to a few candidates. A cell's list is made the first
 *  time a colour in it is searched (from the list of its 32^3 parent cell),
 *  so regions of colour space that no pixel visits cost nothing.
 *
 *  The search can be restricted to the entries first..end-1 (for instance
 *  1..count-1 when entry 0 is reserved): it then returns the lowest index of
 *  that range at the smallest distance, and never an index outside it. Over
 *  the whole range this is the rule above.
 *
 *  Because cells are filled on demand, one map must not be searched from two
 *  threads at once; give each thread its own. The palette is copied; later
 *  changes to it are not seen. */
class NearestColorMap
{
public:
    /** Searches entries first..end-1 of `palette`; 0 <= first < end <= 256
     *  (an empty range is widened to the single entry `first`). */
    explicit NearestColorMap(const quint8 *palette, int first = 0, int end = 256);

    ~NearestColorMap();
    NearestColorMap(const NearestColorMap &) = delete;
    NearestColorMap &operator=(const NearestColorMap &) = delete;

    /** Nearest entry for the colour of an ARGB pixel; byte 3 of the pixel is ignored. */
    quint8 search(quint32 pixel)
    {
        const int blue = pixel & 0xff, green = (pixel >> 8) & 0xff, red = (pixel >> 16) & 0xff;
        Cell &cell = m_cells[((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3)];
        if (cell.count == 1)
            return cell.list->index;
        return searchCell(cell, blue, green, red);
    }

    /** Average number of candidates per cell made so far, for diagnostics. */
    double averageCandidates() const;

private:
    struct Candidate {
        int blue, green, red;
        int bias;     // (255 - byte 3)^2, the same for every pixel
        quint8 index; // palette index
    };
    struct Cell {
        const Candidate *list = nullptr; // the cell's candidates, in index order
        quint32 count = 0;               // 0 until the cell is made; then at least 1
    };
    struct Box {
        int lo[3]; // blue, green, red lower bounds (inclusive)
        int hi[3]; // upper bounds (inclusive)
    };

    quint8 searchCell(Cell &cell, int blue, int green, int red);
    void makeCell(Cell &cell, int blue, int green, int red);
    const Candidate *store(const std::vector<Candidate> &list);
    static void filter(const std::vector<Candidate> &from, const Box &box, std::vector<Candidate> &to);

    std::vector<Candidate> m_distinct;            // distinct entries, lowest index first
    std::vector<std::vector<Candidate>> m_coarse; // 8^3 parent cells; empty until needed
    struct Free {
        void operator()(void *memory) const;
    };
    // 32^3 cells, indexed red, green, blue (5 bits each); zero pages from the
    // system, so that a cell costs memory only once a colour visits it.
    std::unique_ptr<Cell[], Free> m_cells;
    std::vector<Candidate *> m_blocks; // storage of the cells' lists
    size_t m_blockUsed = 0;            // candidates used in blocks.back()
    std::vector<Candidate> m_scratch;
    quint64 m_madeCells = 0, m_madeCandidates = 0;
    // The last answers of searchCell, one per slot of a colour's hash: a
    // colour met again is not searched again.
    static constexpr int kRecentBits = 12;
    std::vector<quint32> m_recentColor; // 0xffffffff: none (no colour has that value)
    std::vector<quint8> m_recentIndex;
};

/** The nearest palette index of each colour of a set known beforehand (a
 *  job's distinct colours), each found once: mapping a pixel of one of them
 *  is then a single look-up in a small table.
 *
 *  find() gives exactly what NearestColorMap(palette, first, end).search()
 *  gives for a colour of the set. The search suits a few thousand to a few
 *  tens of thousands of colours: the entries are sorted along the axis in
 *  which they spread most (a channel, or the grey axis) and each colour
 *  looks outwards from its own place, until the gap along that axis alone
 *  rules out the rest; there are no cells to build, which at these counts
 *  would cost more than every search together.
 *
 *  Made once, then read by any number of threads. */
class KnownColors
{
public:
    /** Searches every colour of `colors` (0x00RRGGBB, distinct) among
     *  entries first..end-1 of `palette` (as NearestColorMap takes them),
     *  on `threads` threads. */
    KnownColors(const std::vector<quint32> &colors, const quint8 *palette, int first, int end, int threads);

    /** The index found for the colour of `pixel` (byte 3 ignored); -1 for a
     *  colour not in the set. */
    int find(quint32 pixel) const
    {
        const quint32 color = pixel & 0xffffff;
        for (quint32 at = slotOf(color);; at = (at + 1) & m_mask) {
            if (m_keys[at] == color)
                return m_indices[at];
            if (m_keys[at] == kEmpty)
                return -1;
        }
    }

private:
    static constexpr quint32 kEmpty = 0xffffffffu;
    quint32 slotOf(quint32 color) const { return quint32((quint64(color) * 0x9E3779B97F4A7C15ull) >> m_hashShift); }

    std::vector<quint32> m_keys; // colour per slot; kEmpty when free
    std::vector<quint8> m_indices;
    quint32 m_mask = 0;
    int m_hashShift = 63;
};

/** Remembers one palette index per 24-bit colour: 2^24 slots of 16 bits
 *  (32 MiB of address space, of which only the pages of colours actually
 *  looked up become resident). Meant to sit in front of NearestColorMap so
 *  that every distinct colour is searched once.
 *
 *  Several threads may share one memo: slots are read and written atomically
 *  (relaxed), and two threads that compute the same colour store the same
 *  value.
 *
 *  A memo made with `enabled` false holds nothing (find() always gives -1)
 *  and costs nothing: for small jobs, where zeroing the pages of the table
 *  would cost more than the searches it saves. */
class NearestColorMemo
{
public:
    explicit NearestColorMemo(bool enabled = true);
    ~NearestColorMemo();
    NearestColorMemo(const NearestColorMemo &) = delete;
    NearestColorMemo &operator=(const NearestColorMemo &) = delete;

    /** The index stored for the colour of `pixel` (byte 3 ignored), or -1. */
    int find(quint32 pixel) const
    {
        if (!m_table)
            return -1;
        const quint16 slot = __atomic_load_n(m_table + (pixel & 0xffffff), __ATOMIC_RELAXED);
        return int(slot) - 1;
    }
    void store(quint32 pixel, quint8 index)
    {
        if (m_table)
            __atomic_store_n(m_table + (pixel & 0xffffff), quint16(index + 1), __ATOMIC_RELAXED);
    }

private:
    quint16 *m_table = nullptr; // 0 = not known yet, else index + 1; null when disabled
    void *m_mapping = nullptr;  // the memory mapping that holds table, where one is used
};

} // namespace kestrin
