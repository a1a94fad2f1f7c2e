// The colour histogram behind the refined quantizer, and the refined
// palette itself: exact colours when they fit, the budget, a lower error than
// the octree's, and the same palette on any number of threads.
#include "fixtures.h"
#include "testmain.h"

#include "quantize/colorhistogram.h"
#include "quantize/octreequantizer.h"
#include "quantize/refinedquantizer.h"

#include <QTest>

#include <random>
#include <set>

using fixture::bgr;
using kestrin::BackgroundRule;
using kestrin::ColorHistogram;
using kestrin::WeightedColor;

namespace {

/** Clustered colours: `clusters` centres with normal spread, random alpha. */
std::vector<quint32> clustered(int seed, int count, int clusters, double spread)
{
    std::mt19937 rng(static_cast<quint32>(seed));
    std::normal_distribution<double> noise(0, spread);
    std::vector<quint32> centres;
    for (int c = 0; c < clusters; ++c)
        centres.push_back(rng() & 0xffffff);
    std::vector<quint32> pixels;
    for (int i = 0; i < count; ++i) {
        const quint32 c = centres[rng() % centres.size()];
        int v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = qBound(0, int((c >> (8 * k)) & 0xff) + int(noise(rng)), 255);
        pixels.push_back(bgr(v[0], v[1], v[2], int(rng() % 256)));
    }
    return pixels;
}

struct Entry {
    quint64 count, blue, green, red;
    bool operator==(const Entry &o) const
    {
        return count == o.count && blue == o.blue && green == o.green && red == o.red;
    }
};

std::vector<Entry> entriesOf(const ColorHistogram &h)
{
    std::vector<Entry> out;
    for (const WeightedColor &c : h.colors())
        out.push_back({c.count, c.sum[0], c.sum[1], c.sum[2]});
    return out;
}

std::vector<quint32> octreePalette(const std::vector<quint32> &pixels, quint32 colours)
{
    kestrin::OctreeQuantizer q(colours, 6);
    q.addPixels(pixels.data(), quint32(pixels.size()), 1);
    std::vector<quint8> raw(1024);
    q.getPalette(raw.data());
    std::vector<quint32> out;
    for (quint32 i = 0; i < q.colorCount(); ++i)
        out.push_back(quint32(raw[4 * i + 2]) << 16 | quint32(raw[4 * i + 1]) << 8 | raw[4 * i]);
    return out;
}

} // namespace

class TestRefined : public QObject
{
    Q_OBJECT

private slots:
    // However the pixels are cut into histograms and merged, and in whatever
    // order, the histogram is the same: exact counts and sums, and the
    // smallest bins that keep within the limit.
    void histogramDependsOnlyOnThePixels_data()
    {
        QTest::addColumn<quint32>("maxBins");
        QTest::newRow("every colour its own entry") << 100000u;
        QTest::newRow("some bits dropped") << 3000u;
        QTest::newRow("coarse bins") << 300u;
        QTest::newRow("a single bin") << 1u;
    }
    void histogramDependsOnlyOnThePixels()
    {
        QFETCH(quint32, maxBins);
        std::vector<quint32> pixels = clustered(3, 20000, 12, 14);
        const auto binsAt = [&](int shift) {
            std::set<quint32> bins;
            const quint32 channel = 0xffu >> shift;
            for (quint32 p : pixels)
                bins.insert(((p & 0xffffff) >> shift) & (channel << 16 | channel << 8 | channel));
            return quint32(bins.size());
        };
        ColorHistogram whole(maxBins);
        whole.add(pixels.data(), pixels.size(), BackgroundRule());
        const int shift = whole.shift();
        QCOMPARE(whole.size(), binsAt(shift));
        QVERIFY(whole.size() <= maxBins);
        QVERIFY(shift == 0 || binsAt(shift - 1) > maxBins);
        QCOMPARE(shift == 0, maxBins == 100000u);
        QCOMPARE(whole.pixelCount(), quint64(pixels.size()));
        quint64 count = 0, red = 0;
        for (const WeightedColor &c : whole.colors()) {
            count += c.count;
            red += c.sum[2];
        }
        quint64 redTotal = 0;
        for (quint32 p : pixels)
            redTotal += (p >> 16) & 0xff;
        QCOMPARE(count, quint64(pixels.size()));
        QCOMPARE(red, redTotal);

        std::mt19937 rng(7);
        std::shuffle(pixels.begin(), pixels.end(), rng);
        for (size_t parts : {2u, 5u}) {
            ColorHistogram merged(maxBins);
            for (size_t p = 0; p < parts; ++p) {
                ColorHistogram part(maxBins);
                const size_t begin = pixels.size() * p / parts, end = pixels.size() * (p + 1) / parts;
                part.add(pixels.data() + begin, end - begin, BackgroundRule());
                merged.merge(part);
            }
            QCOMPARE(merged.shift(), whole.shift());
            QVERIFY(entriesOf(merged) == entriesOf(whole));
        }
    }

    // No more colours than the budget: the palette is exactly the colours.
    void fewColoursAreKeptExactly()
    {
        const std::vector<quint32> pixels{bgr(9, 9, 9), bgr(200, 10, 0), bgr(9, 9, 9), bgr(0, 0, 1)};
        ColorHistogram h;
        h.add(pixels.data(), pixels.size(), BackgroundRule());
        const kestrin::RefinedPalette p = kestrin::refinePalette(h.colors(), 3, 1, true);
        // Ordered by brightness.
        QCOMPARE(p.colors, (std::vector<quint32>{0x010000, 0x090909, 0x000ac8}));
    }

    // Many colours: at most the budget, all distinct, a lower error than the
    // octree's at the same budget, and the same palette on any thread count.
    void manyColours_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("budget");
        QTest::addColumn<quint32>("maxBins");
        QTest::newRow("256 of 40 clusters") << 1 << 256 << ColorHistogram::kDefaultMaxBins;
        QTest::newRow("16 of 40 clusters") << 2 << 16 << ColorHistogram::kDefaultMaxBins;
        QTest::newRow("2 colours") << 3 << 2 << ColorHistogram::kDefaultMaxBins;
        QTest::newRow("255, binned histogram") << 4 << 255 << 2000u;
    }
    void manyColours()
    {
        QFETCH(int, seed);
        QFETCH(int, budget);
        QFETCH(quint32, maxBins);
        const std::vector<quint32> pixels = clustered(seed, 30000, 40, 20);
        ColorHistogram h(maxBins);
        h.add(pixels.data(), pixels.size(), BackgroundRule());
        const std::vector<WeightedColor> colours = h.colors();
        const kestrin::RefinedPalette one = kestrin::refinePalette(colours, budget, 1, h.shift() == 0);
        QVERIFY(int(one.colors.size()) <= budget && int(one.colors.size()) >= budget * 9 / 10);
        QVERIFY(std::adjacent_find(one.colors.begin(), one.colors.end()) == one.colors.end());
        QVERIFY(kestrin::refinePalette(colours, budget, 3, h.shift() == 0).colors == one.colors);

        ColorHistogram exact(1u << 20);
        exact.add(pixels.data(), pixels.size(), BackgroundRule());
        const double refined = kestrin::weightedSquaredError(exact.colors(), one.colors);
        const double octree = kestrin::weightedSquaredError(exact.colors(), octreePalette(pixels, quint32(budget)));
        QVERIFY2(refined < octree * 0.9, qPrintable(QStringLiteral("%1 vs %2").arg(refined).arg(octree)));
    }

    // The bounds and the nearest-first search skip work, never a result: the
    // rounds end where every colour trying every mean ends them, with the
    // same palette. Whole-valued colours on a coarse grid make exact ties
    // between means common; the lowest index must win them either way.
    void boundedSearchMatchesThePlainRounds_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("budget");
        QTest::addColumn<int>("grid"); // colours are multiples of this
        QTest::addColumn<int>("threads");
        QTest::newRow("clusters, 256") << 11 << 256 << 1 << 1;
        QTest::newRow("clusters, 64, 3 threads") << 12 << 64 << 1 << 3;
        QTest::newRow("clusters, 256, 2 threads") << 15 << 256 << 1 << 2;
        QTest::newRow("coarse grid, many ties") << 13 << 200 << 16 << 2;
        QTest::newRow("coarse grid, 7 entries") << 14 << 7 << 32 << 1;
    }
    void boundedSearchMatchesThePlainRounds()
    {
        QFETCH(int, seed);
        QFETCH(int, budget);
        QFETCH(int, grid);
        QFETCH(int, threads);
        std::vector<quint32> pixels = clustered(seed, 40000, 60, 25);
        for (quint32 &p : pixels) {
            quint32 snapped = 0;
            for (int k = 0; k < 3; ++k)
                snapped |= quint32(((p >> (8 * k)) & 0xff) / quint32(grid) * quint32(grid)) << (8 * k);
            p = snapped;
        }
        ColorHistogram h;
        h.add(pixels.data(), pixels.size(), BackgroundRule());
        QVERIFY(h.size() > quint32(budget));
        using kestrin::MeansSearch;
        const kestrin::RefinedPalette plain
            = kestrin::refinePalette(h.colors(), budget, 1, true, 64, MeansSearch::Plain);
        const kestrin::RefinedPalette bounded
            = kestrin::refinePalette(h.colors(), budget, threads, true, 64, MeansSearch::Bounded);
        QCOMPARE(bounded.iterations, plain.iterations);
        QVERIFY(bounded.colors == plain.colors);
    }
};

KESTRIN_TEST(TestRefined)
#include "tst_refined.moc"
