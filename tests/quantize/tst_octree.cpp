// The octree quantizer: palette order, truncating averages, the fold order
// that decides every palette, 64-bit sums, and the leaf cache that must build
// exactly the same tree as the plain descent.
#include "fixtures.h"
#include "testmain.h"

#include "quantize/octreequantizer.h"

#include <QTest>

#include <random>
#include <vector>

using kestrin::OctreeQuantizer;

using fixture::bgr;

namespace {

// The palette as (blue, green, red) words with byte 3 checked to be 0.
std::vector<quint32> paletteOf(const OctreeQuantizer &q)
{
    std::vector<quint8> raw(1024, 0xee);
    q.getPalette(raw.data());
    std::vector<quint32> entries;
    for (quint32 i = 0; i < q.colorCount(); ++i) {
        if (raw[4 * i + 3] != 0)
            return {0xdeadbeef};
        entries.push_back(bgr(raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], 0));
    }
    if (q.colorCount() < 256 && raw[4 * q.colorCount()] != 0xee)
        return {0xbadbad}; // wrote past its entries
    return entries;
}

std::vector<quint32> quantize(const std::vector<quint32> &pixels, quint32 maxColors = 256, bool cached = false)
{
    OctreeQuantizer q(maxColors, 6);
    if (cached)
        q.enableLeafCache();
    q.addPixels(pixels.data(), quint32(pixels.size()), 1);
    return paletteOf(q);
}

} // namespace

class TestOctree : public QObject
{
    Q_OBJECT

private slots:
    void emptyBufferHasNoColours()
    {
        OctreeQuantizer q(256, 6);
        QCOMPARE(q.addPixels(nullptr, 0, 7), 1);
        QCOMPARE(q.colorCount(), 0u);
        QVERIFY(paletteOf(q).empty());
    }

    void smallPalettes_data()
    {
        QTest::addColumn<std::vector<quint32>>("pixels");
        QTest::addColumn<std::vector<quint32>>("expected");
        QTest::newRow("one colour, byte 3 cleared") << std::vector<quint32>{bgr(10, 20, 30, 77), bgr(10, 20, 30, 1)}
                                                    << std::vector<quint32>{bgr(10, 20, 30, 0)};
        QTest::newRow("(1,1,1)+(2,2,2) share a leaf, average truncates")
            << std::vector<quint32>{bgr(1, 1, 1), bgr(2, 2, 2)} << std::vector<quint32>{bgr(1, 1, 1, 0)};
        QTest::newRow("alpha is not a colour") << std::vector<quint32>{bgr(5, 6, 7, 0), bgr(5, 6, 7, 255)}
                                               << std::vector<quint32>{bgr(5, 6, 7, 0)};
        QTest::newRow("blue, red, green come out red, green, blue")
            << std::vector<quint32>{bgr(255, 0, 0), bgr(0, 0, 255), bgr(0, 255, 0)}
            << std::vector<quint32>{bgr(0, 0, 255, 0), bgr(0, 255, 0, 0), bgr(255, 0, 0, 0)};
        QTest::newRow("white, black: child 7 after child 0") << std::vector<quint32>{bgr(255, 255, 255), bgr(0, 0, 0)}
                                                             << std::vector<quint32>{bgr(0, 0, 0, 0), bgr(255, 255, 255, 0)};
        QTest::newRow("uneven average truncates per channel")
            << std::vector<quint32>{bgr(0, 1, 2), bgr(1, 2, 3), bgr(1, 2, 3)} << std::vector<quint32>{bgr(0, 1, 2, 0)};
    }
    void smallPalettes()
    {
        QFETCH(std::vector<quint32>, pixels);
        QFETCH(std::vector<quint32>, expected);
        QCOMPARE(quantize(pixels), expected);
        QCOMPARE(quantize(pixels, 256, true), expected);
    }

    // 256 leaves fill the tree; the pixel that makes the 257th folds the most
    // recently created level-5 node, not the oldest one.
    void foldAtThe257thLeafTakesTheNewestDeepestNode()
    {
        std::vector<quint32> pixels;
        for (int j = 0; j < 4; ++j) {
            for (int i = 0; i < 64; ++i)
                pixels.push_back(bgr(i * 4, j * 4, 0));
        }
        for (bool cached : {false, true}) {
            OctreeQuantizer q(256, 6);
            if (cached)
                q.enableLeafCache();
            q.addPixels(pixels.data(), quint32(pixels.size()), 1);
            QCOMPARE(q.colorCount(), 256u);
            const quint32 extra = bgr(0, 0, 4);
            q.addPixels(&extra, 1, 1);
            // Level-5 nodes group blue pairs {4k, 4k+4} and green pairs {0,4} / {8,12};
            // the newest is the one of blue 248/252 and green 8/12.
            QCOMPARE(q.colorCount(), 254u);
            const std::vector<quint32> palette = paletteOf(q);
            auto has = [&](quint32 c) { return std::find(palette.begin(), palette.end(), c) != palette.end(); };
            QVERIFY(has(bgr(250, 10, 0, 0)));
            QVERIFY(!has(bgr(248, 8, 0, 0)));
            QVERIFY(!has(bgr(252, 12, 0, 0)));
            QVERIFY(has(bgr(0, 0, 0, 0)));
            QVERIFY(has(bgr(4, 4, 0, 0)));
            QVERIFY(has(bgr(0, 0, 4, 0)));
            QVERIFY(has(bgr(244, 12, 0, 0)));
        }
    }

    // Folding a node with one child leaves the leaf count as it was, so the
    // next fold follows before the next pixel.
    void singleChildFoldIsFollowedByAnother()
    {
        const std::vector<quint32> pixels{bgr(0, 0, 0), bgr(4, 0, 0), bgr(255, 255, 255)};
        const std::vector<quint32> expected{bgr(2, 0, 0, 0), bgr(255, 255, 255, 0)};
        QCOMPARE(quantize(pixels, 2), expected);
        QCOMPARE(quantize(pixels, 2, true), expected);
        // With one colour allowed everything folds up to the root.
        QCOMPARE(quantize(pixels, 1), std::vector<quint32>{bgr(86, 85, 85, 0)});
        QCOMPARE(quantize(pixels, 1, true), std::vector<quint32>{bgr(86, 85, 85, 0)});
    }

    // More than 16,843,009 white pixels in one leaf overflow 32-bit sums.
    void largeLeafSumsDoNotWrap()
    {
        std::vector<quint32> block(1 << 20, bgr(255, 255, 255));
        OctreeQuantizer q(256, 6);
        q.enableLeafCache();
        for (int i = 0; i < 17; ++i)
            q.addPixels(block.data(), quint32(block.size()), 1);
        QCOMPARE(paletteOf(q), std::vector<quint32>{bgr(255, 255, 255, 0)});
    }

    // Any split into calls, with or without the leaf cache, gives the same
    // palette as the plain descent over everything at once.
    void splitAndCachedAdditionsMatchOneCall_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("spread"); // how many distinct values per channel
        QTest::addColumn<int>("maxColors");
        for (int seed = 1; seed <= 12; ++seed) {
            const int spread = seed % 3 == 0 ? 256 : seed % 3 == 1 ? 24 : 7;
            const int maxColors = seed % 4 == 0 ? 16 : 256;
            QTest::addRow("seed %d", seed) << seed << spread << maxColors;
        }
    }
    void splitAndCachedAdditionsMatchOneCall()
    {
        QFETCH(int, seed);
        QFETCH(int, spread);
        QFETCH(int, maxColors);
        std::mt19937 rng(seed);
        std::vector<quint32> pixels(20000 + seed * 1000);
        const int step = 256 / spread;
        for (quint32 &p : pixels) {
            if (rng() % 4 == 0 && &p != pixels.data()) {
                p = (&p)[-1] ^ (quint32(rng() % 256) << 24); // a repeat, possibly with another alpha
                continue;
            }
            p = bgr(rng() % spread * step, rng() % spread * step, rng() % spread * step, rng() % 256);
        }
        const std::vector<quint32> reference = quantize(pixels, quint32(maxColors));
        QVERIFY(!reference.empty());

        OctreeQuantizer split(quint32(maxColors), 6);
        split.enableLeafCache();
        size_t at = 0;
        while (at < pixels.size()) {
            const size_t n = std::min<size_t>(pixels.size() - at, rng() % 3000);
            split.addPixels(pixels.data() + at, quint32(n), 1);
            at += n;
        }
        QCOMPARE(paletteOf(split), reference);
    }
};

KESTRIN_TEST(TestOctree)
#include "tst_octree.moc"
