#include "quantize/refinedquantizer.h"

#include "quantize/parallelranges.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestrin {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

/** Count and channel sums of a set of weighted colours, with the sum of
 *  count * mean^2 (each colour treated as sitting at its mean). */
struct Moments {
    double weight = 0;
    double sum[3] = {};
    double squares = 0;

    void add(const WeightedColor &c)
    {
        weight += double(c.count);
        double q = 0;
        for (int k = 0; k < 3; ++k) {
            sum[k] += double(c.sum[k]);
            q += double(c.sum[k]) * double(c.sum[k]);
        }
        squares += q / double(c.count);
    }
    void add(const Moments &m)
    {
        weight += m.weight;
        for (int k = 0; k < 3; ++k)
            sum[k] += m.sum[k];
        squares += m.squares;
    }
    Moments minus(const Moments &m) const
    {
        Moments d;
        d.weight = weight - m.weight;
        for (int k = 0; k < 3; ++k)
            d.sum[k] = sum[k] - m.sum[k];
        d.squares = squares - m.squares;
        return d;
    }
    /** Summed squared distance of the colours to their common mean. */
    double error() const
    {
        if (weight <= 0)
            return 0;
        return squares - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / weight;
    }
};

// ---- Step 1: variance split ------------------------------------------------

/** A box of the split: the colours order[begin..end) and its best cut. */
struct Box {
    quint32 begin = 0, end = 0;
    double gain = -1; // error removed by the best cut; -1 when it cannot be cut
    int axis = 0;     // channel of the best cut
    int cut = 0;      // colours whose floor(mean) on `axis` is <= cut go to the first part
};

class VarianceSplit
{
public:
    VarianceSplit(const std::vector<WeightedColor> &colors)
        : m_moments(colors.size()),
          m_buckets(colors.size() * 3),
          m_order(colors.size())
    {
        for (quint32 i = 0; i < m_order.size(); ++i) {
            m_order[i] = i;
            m_moments[i].add(colors[i]);
            for (int axis = 0; axis < 3; ++axis)
                m_buckets[3 * size_t(i) + size_t(axis)] = quint8(std::min(255, int(colors[i].mean(axis))));
        }
    }

    /** The order of the colours, box after box, and the boxes. */
    std::vector<Box> run(int maxBoxes)
    {
        std::vector<Box> boxes{measure(0, quint32(m_order.size()))};
        while (int(boxes.size()) < maxBoxes) {
            int best = -1;
            for (int i = 0; i < int(boxes.size()); ++i) {
                if (boxes[i].gain >= 0 && (best < 0 || boxes[i].gain > boxes[best].gain))
                    best = i;
            }
            if (best < 0)
                break;
            const Box box = boxes[best];
            const auto middle = std::partition(m_order.begin() + box.begin, m_order.begin() + box.end,
                                               [&](quint32 i) { return bucket(i, box.axis) <= box.cut; });
            const quint32 split = quint32(middle - m_order.begin());
            boxes[best] = measure(box.begin, split);
            boxes.push_back(measure(split, box.end));
        }
        return boxes;
    }

    const std::vector<quint32> &colorOrder() const { return m_order; }

private:
    int bucket(quint32 i, int axis) const { return m_buckets[3 * size_t(i) + size_t(axis)]; }

    // Finds the cut of order[begin..end) that leaves the least error, over
    // the three channels and the planes between whole values. Only the
    // buckets between the box's lowest and highest value are visited: the
    // cuts outside them leave a part empty.
    Box measure(quint32 begin, quint32 end)
    {
        Box box;
        box.begin = begin;
        box.end = end;
        if (end - begin < 2)
            return box;
        // One pass fills the totals and every channel's bins; the bins are
        // left empty again after their cuts are measured.
        Moments total;
        int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (quint32 k = begin; k < end; ++k) {
            const quint32 i = m_order[k];
            const Moments &m = m_moments[i];
            total.add(m);
            for (int axis = 0; axis < 3; ++axis) {
                const int b = bucket(i, axis);
                lo[axis] = std::min(lo[axis], b);
                hi[axis] = std::max(hi[axis], b);
                m_scratch[axis][b].add(m);
            }
        }
        const double whole = total.error();
        double bestRest = kInfinity;
        for (int axis = 0; axis < 3; ++axis) {
            Moments *bins = m_scratch[axis];
            Moments low;
            for (int cut = lo[axis]; cut < hi[axis]; ++cut) {
                // A cut after an empty value leaves the parts of the cut
                // before it, which can only tie with it: never a better cut.
                if (bins[cut].weight <= 0)
                    continue;
                low.add(bins[cut]);
                if (low.weight <= 0 || low.weight >= total.weight)
                    continue;
                const double rest = low.error() + total.minus(low).error();
                if (rest < bestRest) {
                    bestRest = rest;
                    box.axis = axis;
                    box.cut = cut;
                }
            }
            std::fill(bins + lo[axis], bins + hi[axis] + 1, Moments());
        }
        if (bestRest < kInfinity)
            box.gain = std::max(0.0, whole - bestRest);
        return box;
    }

    std::vector<Moments> m_moments; // each colour's own moments
    std::vector<quint8> m_buckets;  // floor of each colour's mean, 3 per colour
    std::vector<quint32> m_order;
    Moments m_scratch[3][256]; // per channel and value; empty between measures
};

// ---- Step 2: weighted k-means ----------------------------------------------

/** Exact integer sums of the colours that chose one mean. */
struct Cluster {
    quint64 count = 0;
    quint64 sum[3] = {};
};

double squaredDistance(const double *a, const double *b)
{
    const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

double distance(const double *a, const double *b)
{
    return std::sqrt(squaredDistance(a, b));
}

class KMeans
{
public:
    KMeans(const std::vector<WeightedColor> &colors, int threads, MeansSearch search)
        : m_colors(colors),
          m_chunks((colors.size() + kChunk - 1) / kChunk),
          m_threads(int(std::clamp<size_t>(m_chunks / kChunksPerThread, 1, size_t(std::max(1, threads))))),
          m_listingThreads(std::max(1, threads)),
          m_plain(search == MeansSearch::Plain),
          m_point(colors.size() * 3),
          m_assigned(colors.size()),
          m_lower(colors.size(), 0.0)
    {
        for (size_t i = 0; i < colors.size(); ++i) {
            for (int k = 0; k < 3; ++k)
                m_point[3 * i + k] = colors[i].mean(k);
        }
    }

    /** Starts from the split: each colour with its box's mean. */
    void start(const std::vector<Box> &boxes, const std::vector<quint32> &order)
    {
        m_clusters.assign(boxes.size(), Cluster());
        for (quint32 b = 0; b < boxes.size(); ++b) {
            for (quint32 k = boxes[b].begin; k < boxes[b].end; ++k) {
                m_assigned[order[k]] = quint16(b);
                add(m_clusters[b], m_colors[order[k]]);
            }
        }
        m_means.assign(boxes.size() * 3, 0.0);
        updateMeans();
    }

    /** Runs rounds until they stop paying; returns the number of rounds. */
    int run(int maxIterations)
    {
        std::vector<quint32> rounded = roundedMeans();
        double lastError = kInfinity;
        int rounds = 0;
        while (rounds < maxIterations) {
            ++rounds;
            double error = 0;
            const quint64 moved = assignRound(&error);
            const std::vector<double> before = m_means;
            updateMeans();
            refillEmptyClusters();
            shiftBounds(before);
            std::vector<quint32> now = roundedMeans();
            if (moved == 0 || now == rounded || lastError - error < kEnough * error)
                break;
            rounded.swap(now);
            lastError = error;
        }
        return rounds;
    }

    std::vector<quint32> roundedMeans() const
    {
        std::vector<quint32> out;
        out.reserve(m_clusters.size());
        for (const Cluster &c : m_clusters) {
            if (!c.count)
                continue;
            quint32 rgb = 0;
            for (int k = 0; k < 3; ++k) {
                const quint64 v = (2 * c.sum[k] + c.count) / (2 * c.count); // halves round up
                rgb |= quint32(std::min<quint64>(v, 255)) << (8 * k);
            }
            out.push_back(rgb);
        }
        return out;
    }

private:
    // Rounds stop once one lowers the error by less than this fraction.
    static constexpr double kEnough = 1e-4;
    // Colours are handled in fixed chunks, whatever the thread count, so that
    // floating-point sums over them are always added in the same order.
    static constexpr size_t kChunk = 4096;
    // A thread is started for every few chunks only: a round over a few
    // thousand colours takes less time than starting a thread.
    static constexpr size_t kChunksPerThread = 4;
    // Distances are computed in floating point, so the bounds that skip work
    // keep this much room: a colour is only left out when the bound clears
    // it by more, which no rounding comes near (distances are below 442).
    static constexpr double kMargin = 1e-9;
    // Means listed by distance from each mean; a search that gets past them
    // (rare) tries all the others.
    static constexpr size_t kNear = 32;
    // From this many means on, the listing is worth a second thread.
    static constexpr size_t kRowsForThreads = 128;

    static void add(Cluster &c, const WeightedColor &w)
    {
        c.count += w.count;
        for (int k = 0; k < 3; ++k)
            c.sum[k] += w.sum[k];
    }

    /** fn(part, chunk, begin, end) for every chunk, chunks shared out among the threads. */
    template<typename Fn>
    void forChunks(Fn fn)
    {
        parallelRanges(m_threads, m_chunks, [&](int part, quint64 first, quint64 last) {
            for (quint64 c = first; c < last; ++c)
                fn(part, c, c * kChunk, std::min<quint64>((c + 1) * kChunk, m_colors.size()));
        });
    }

    void updateMeans()
    {
        for (size_t j = 0; j < m_clusters.size(); ++j) {
            if (!m_clusters[j].count)
                continue;
            for (int k = 0; k < 3; ++k)
                m_means[3 * j + k] = double(m_clusters[j].sum[k]) / double(m_clusters[j].count);
        }
    }

    // The neighbour lists are made again only when that pays: a listing
    // costs about k^2 distances, so the lists are kept while the searches
    // of the round before measured fewer than half that many. Until then
    // the searches widen their bounds by how far each mean has drifted from
    // where it stood when the lists were made (see search), which costs them
    // tries as the drift grows. The rounds, and so the palette, are the same
    // either way: only the work done to find each nearest mean differs.
    void refreshNeighbours()
    {
        const size_t k = m_clusters.size();
        const quint64 tries = m_tries;
        m_tries = 0;
        m_maxDrift = 0;
        if (m_listed.size() == m_means.size()) {
            for (size_t j = 0; j < k; ++j) {
                m_drift[j] = distance(&m_means[3 * j], &m_listed[3 * j]);
                m_maxDrift = std::max(m_maxDrift, m_drift[j]);
            }
            if (m_maxDrift == 0 || tries < quint64(k) * k / 2)
                return;
        }
        sortNeighbours();
        m_listed = m_means;
        m_drift.assign(k, 0.0);
        m_maxDrift = 0;
    }

    // For every mean, its kNear nearest means (itself first) by increasing
    // distance, ties by index, and the distance of the nearest one left out.
    // Each row is narrowed to the means within reach of the last listing:
    // its kNear + 1 nearest lay within the distance beyond it, and no
    // distance has grown by more than the two means' drifts since, so they
    // are all still within that reach, and so are the kNear + 1 nearest now.
    // A short list of candidates is ordered instead of the whole row.
    void sortNeighbours()
    {
        const size_t k = m_clusters.size(), near = std::min(k, kNear);
        const bool listedBefore = m_beyond.size() == k && m_drift.size() == k;
        const std::vector<double> previous = listedBefore ? m_beyond : std::vector<double>();
        m_neighbours.resize(k * near);
        m_gaps.resize(k * near);
        m_beyond.resize(k);
        // A row is ordered by one integer per mean: the bits of its squared
        // distance (a non-negative double orders as its bit pattern) without
        // the last 8 bits of the mantissa, which hold the mean's index.
        // Distances closer than those bits tell apart (a few parts in 10^14)
        // may be listed in either order; the searches' margin covers that.
        Q_ASSERT(k <= 256); // an index fits in those 8 bits
        // The means channel by channel, padded to an even count: a row's
        // distances are then worked out two at a time (the same arithmetic
        // as squaredDistance, so the same values).
        const size_t padded = (k + 1) & ~size_t(1);
        std::vector<double> channel[3];
        for (int c = 0; c < 3; ++c) {
            channel[c].assign(padded, 0.0);
            for (size_t b = 0; b < k; ++b)
                channel[c][b] = m_means[3 * b + size_t(c)];
        }
        // Rows are independent: a full palette's are shared out between two
        // threads (the listing is the largest single piece of a small job's
        // rounds); the lists are the same either way.
        const int parts = k >= kRowsForThreads ? std::min(m_listingThreads, 2) : 1;
        parallelRanges(parts, k, [&](int, quint64 first, quint64 last) {
            std::vector<double> squares(padded);
            std::vector<quint64> row(k);
            const auto keyOf = [&](size_t b) {
                quint64 bits;
                std::memcpy(&bits, &squares[b], sizeof bits);
                return (bits & ~quint64(0xff)) | quint64(b);
            };
            for (size_t a = size_t(first); a < size_t(last); ++a) {
                const double a0 = m_means[3 * a], a1 = m_means[3 * a + 1], a2 = m_means[3 * a + 2];
                for (size_t b = 0; b < padded; b += 2) {
                    const double d0 = a0 - channel[0][b], d1 = a1 - channel[1][b], d2 = a2 - channel[2][b];
                    const double e0 = a0 - channel[0][b + 1], e1 = a1 - channel[1][b + 1], e2 = a2 - channel[2][b + 1];
                    squares[b] = d0 * d0 + d1 * d1 + d2 * d2;
                    squares[b + 1] = e0 * e0 + e1 * e1 + e2 * e2;
                }
                size_t count = 0;
                if (listedBefore && near < k && previous[a] < kInfinity) {
                    const double reach = previous[a] + m_drift[a] + m_maxDrift + kMargin;
                    const double limit = reach * reach;
                    for (size_t b = 0; b < k; ++b) { // kept without a branch: which ones pass is anyone's guess
                        row[count] = keyOf(b);
                        count += squares[b] <= limit ? 1 : 0;
                    }
                }
                if (count <= near) { // no listing before, or rounding took one away: the whole row
                    for (size_t b = 0; b < k; ++b)
                        row[b] = keyOf(b);
                    count = k;
                }
                if (near < count)
                    std::nth_element(row.begin(), row.begin() + std::ptrdiff_t(near),
                                     row.begin() + std::ptrdiff_t(count));
                std::sort(row.begin(), row.begin() + std::ptrdiff_t(near));
                for (size_t n = 0; n < near; ++n) {
                    const size_t b = size_t(row[n] & 0xff);
                    m_gaps[a * near + n] = std::sqrt(squares[b]);
                    m_neighbours[a * near + n] = quint16(b);
                }
                m_beyond[a] = near < k ? std::sqrt(squares[size_t(row[near] & 0xff)]) : kInfinity;
            }
        });
    }

    // One assignment round over every colour: a colour whose distance to its
    // mean is below both half the distance from that mean to its nearest
    // other mean and its lower bound to every other mean keeps it without a
    // search. Returns how many colours changed mean; `error` gets the
    // weighted squared error of the new assignment against the current means.
    quint64 assignRound(double *error)
    {
        const size_t k = m_clusters.size();
        if (!m_plain)
            refreshNeighbours();
        std::vector<std::vector<Cluster>> partial(static_cast<size_t>(m_threads), std::vector<Cluster>(k));
        std::vector<quint64> moved(static_cast<size_t>(m_threads), 0);
        std::vector<quint64> tries(static_cast<size_t>(m_threads), 0);
        std::vector<double> chunkError(m_chunks, 0.0);
        forChunks([&](int part, quint64 chunk, quint64 begin, quint64 end) {
            std::vector<Cluster> &sums = partial[size_t(part)];
            double sum = 0;
            quint64 chunkTries = 0, chunkMoved = 0; // counted here: the threads' counters share a cache line
            for (quint64 i = begin; i < end; ++i) {
                const quint16 was = m_assigned[i];
                double d = distance(&m_point[3 * i], &m_means[3 * was]);
                if (m_plain) {
                    d = searchAll(i);
                } else {
                    const double half
                        = k > 1 ? 0.5 * (m_gaps[was * std::min(k, kNear) + 1] - m_drift[was] - m_maxDrift) : kInfinity;
                    if (d >= std::max(half, m_lower[i]) - kMargin)
                        d = search(i, d, chunkTries);
                }
                if (m_assigned[i] != was)
                    ++chunkMoved;
                add(sums[m_assigned[i]], m_colors[i]);
                sum += double(m_colors[i].count) * d * d;
            }
            chunkError[chunk] = sum;
            tries[size_t(part)] += chunkTries;
            moved[size_t(part)] += chunkMoved;
        });
        for (Cluster &c : m_clusters)
            c = Cluster();
        quint64 total = 0;
        for (int part = 0; part < m_threads; ++part) {
            total += moved[size_t(part)];
            m_tries += tries[size_t(part)];
            for (size_t j = 0; j < k; ++j) {
                m_clusters[j].count += partial[size_t(part)][j].count;
                for (int c = 0; c < 3; ++c)
                    m_clusters[j].sum[c] += partial[size_t(part)][j].sum[c];
            }
        }
        *error = 0;
        for (double e : chunkError)
            *error += e;
        return total;
    }

    // The nearest mean of colour i (lowest index on ties) and a lower bound
    // on its distance to every other mean; `d` is its distance to its current
    // mean a. Other means are tried by increasing distance from a: once
    // dist(a, j) - d exceeds the second-best distance found, neither j nor
    // any later mean can be nearer (triangle inequality), and that gap bounds
    // the distance to every mean not tried. Returns the nearest distance.
    double search(quint64 i, double d, quint64 &tries)
    {
        const size_t k = m_clusters.size(), near = std::min(k, kNear);
        const quint16 a = m_assigned[i];
        const quint16 *order = &m_neighbours[a * near];
        const double *gap = &m_gaps[a * near];
        // The lists were made with the means where they stood then: a
        // distance between two means has changed by at most their drifts.
        const double slack = m_drift[a] + m_maxDrift;
        double best = d, second = kInfinity;
        quint64 tried = 0;
        quint16 bestIndex = a;
        const auto tryMean = [&](quint16 j) {
            ++tried;
            const double dj = distance(&m_point[3 * i], &m_means[3 * j]);
            if (dj < best || (dj == best && j < bestIndex)) {
                second = best;
                best = dj;
                bestIndex = j;
            } else if (dj < second) {
                second = dj;
            }
        };
        double untried = kInfinity;
        size_t n = 0;
        for (; n < near; ++n) {
            if (gap[n] - slack - d > second + kMargin) {
                untried = gap[n] - slack - d - kMargin;
                break;
            }
            if (order[n] != a)
                tryMean(order[n]);
        }
        if (n == near && near < k) {
            if (m_beyond[a] - slack - d > second + kMargin) {
                untried = m_beyond[a] - slack - d - kMargin;
            } else {
                // The means left out of the list may be nearer: try each of
                // them once.
                for (size_t j = 0; j < k; ++j) {
                    if (j != a && std::find(order, order + near, quint16(j)) == order + near)
                        tryMean(quint16(j));
                }
            }
        }
        tries += tried;
        m_assigned[i] = bestIndex;
        m_lower[i] = std::min(second, untried);
        return best;
    }

    // The nearest mean of colour i by trying every mean (lowest index on
    // ties): the plain algorithm, which the bounded search must match.
    double searchAll(quint64 i)
    {
        double best = kInfinity;
        quint16 bestIndex = 0;
        for (size_t j = 0; j < m_clusters.size(); ++j) {
            const double dj = distance(&m_point[3 * i], &m_means[3 * j]);
            if (dj < best) {
                best = dj;
                bestIndex = quint16(j);
            }
        }
        m_assigned[i] = bestIndex;
        return best;
    }

    // A mean that no colour chose moves onto the colour with the largest
    // weighted error, so that no entry is wasted; ties take the first colour.
    void refillEmptyClusters()
    {
        bool refilled = false;
        std::vector<bool> taken(m_colors.size(), false);
        for (size_t j = 0; j < m_clusters.size(); ++j) {
            if (m_clusters[j].count)
                continue;
            double worst = 0;
            qint64 pick = -1;
            for (size_t i = 0; i < m_colors.size(); ++i) {
                if (taken[i])
                    continue;
                const double d = distance(&m_point[3 * i], &m_means[3 * m_assigned[i]]);
                const double cost = double(m_colors[i].count) * d * d;
                if (cost > worst) {
                    worst = cost;
                    pick = qint64(i);
                }
            }
            if (pick < 0)
                break; // every colour sits exactly on a mean: nothing to gain
            taken[size_t(pick)] = true;
            for (int k = 0; k < 3; ++k)
                m_means[3 * j + k] = m_point[3 * size_t(pick) + k];
            refilled = true;
        }
        if (refilled) // other colours may now be nearer to a moved mean
            std::fill(m_lower.begin(), m_lower.end(), 0.0);
    }

    // After the means moved, a lower bound shrinks by the largest move of
    // any other mean.
    void shiftBounds(const std::vector<double> &before)
    {
        const size_t k = m_clusters.size();
        size_t largest = 0;
        double first = 0, second = 0;
        for (size_t j = 0; j < k; ++j) {
            const double move = distance(&before[3 * j], &m_means[3 * j]);
            if (move > first) {
                second = first;
                first = move;
                largest = j;
            } else if (move > second) {
                second = move;
            }
        }
        forChunks([&](int, quint64, quint64 begin, quint64 end) {
            for (quint64 i = begin; i < end; ++i)
                m_lower[i] -= m_assigned[i] == largest ? second : first;
        });
    }

    const std::vector<WeightedColor> &m_colors;
    const size_t m_chunks;
    const int m_threads;
    const int m_listingThreads;
    const bool m_plain;                // every colour tries every mean, every round
    std::vector<double> m_point;       // each colour's mean, 3 per colour
    std::vector<quint16> m_assigned;   // the mean each colour belongs to
    std::vector<double> m_lower;       // at most the distance to any mean but the assigned one
    std::vector<Cluster> m_clusters;   // exact sums of the last round
    std::vector<double> m_means;       // 3 per cluster
    std::vector<quint16> m_neighbours; // per mean, its nearest kNear means by increasing distance
    std::vector<double> m_gaps;        // the matching distances
    std::vector<double> m_beyond;      // per mean, the distance to the nearest mean not in its list
    std::vector<double> m_listed;      // the means when the lists were made, 3 per cluster
    std::vector<double> m_drift;       // how far each mean is from where it stood then
    double m_maxDrift = 0;             // the largest of those
    quint64 m_tries = 0;               // means tried by the searches of the last round
};

/** Perceived brightness, for the order of the entries. */
int brightness(quint32 rgb)
{
    return 114 * int(rgb & 0xff) + 587 * int((rgb >> 8) & 0xff) + 299 * int((rgb >> 16) & 0xff);
}

void orderEntries(std::vector<quint32> &palette)
{
    std::sort(palette.begin(), palette.end(), [](quint32 a, quint32 b) {
        const int ba = brightness(a), bb = brightness(b);
        return ba != bb ? ba < bb : a < b;
    });
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
}

} // namespace

RefinedPalette refinePalette(const std::vector<WeightedColor> &colors, int maxColors, int threads, bool exactColors,
                             int maxIterations, MeansSearch search)
{
    RefinedPalette result;
    maxColors = std::clamp(maxColors, 1, 256);
    if (colors.empty())
        return result;
    if (exactColors && colors.size() <= size_t(maxColors)) {
        for (const WeightedColor &c : colors)
            result.colors.push_back(quint32(c.sum[0] / c.count) | quint32(c.sum[1] / c.count) << 8
                                    | quint32(c.sum[2] / c.count) << 16);
        orderEntries(result.colors);
        return result;
    }
    VarianceSplit split(colors);
    const std::vector<Box> boxes = split.run(maxColors);
    KMeans means(colors, threads, search);
    means.start(boxes, split.colorOrder());
    result.iterations = means.run(maxIterations);
    result.colors = means.roundedMeans();
    orderEntries(result.colors);
    return result;
}

double weightedSquaredError(const std::vector<WeightedColor> &colors, const std::vector<quint32> &palette)
{
    double total = 0;
    for (const WeightedColor &c : colors) {
        double best = kInfinity;
        for (quint32 e : palette) {
            double d = 0;
            for (int k = 0; k < 3; ++k) {
                const double v = c.mean(k) - double((e >> (8 * k)) & 0xff);
                d += v * v;
            }
            best = std::min(best, d);
        }
        total += best * double(c.count);
    }
    return total;
}

} // namespace kestrin
