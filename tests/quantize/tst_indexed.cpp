// Colour mapping: the plain exhaustive search of the indexed image and the
// fast NearestColorMap, which must agree with it on every colour.
#include "fixtures.h"
#include "testmain.h"

#include "indexedimage.h"
#include "quantize/nearestcolor.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using kestrinref::IndexedImage;
using kestrin::NearestColorMap;

using fixture::bgr;

namespace {

quint32 entry(const IndexedImage &image, int i)
{
    quint32 word;
    std::memcpy(&word, image.palette() + 4 * i, 4);
    return word;
}

// Reference: the index the exhaustive search gives for a colour, with the
// palette copied into a fresh image (IndexedImage only maps with its own palette).
struct Reference {
    IndexedImage image;
    explicit Reference(const std::vector<quint32> &pixels)
    {
        image.build(pixels.data(), quint32(pixels.size()), 1);
    }
};

} // namespace

class TestIndexed : public QObject
{
    Q_OBJECT

private slots:
    void emptyInput()
    {
        IndexedImage image;
        QCOMPARE(image.colorDistance(3, 255, 1, 2, 3), 0); // no palette yet
        QCOMPARE(image.build(nullptr, 0, 1), 1);
        QCOMPARE(image.colorCount(), 0u);
        QCOMPARE(image.pixelCount(), quint64(0));
        for (int i = 0; i < 256; ++i)
            QCOMPARE(entry(image, i), 0u);
    }

    void distanceUsesAllFourBytes()
    {
        const std::vector<quint32> pixels{bgr(10, 20, 30)};
        IndexedImage image;
        image.build(pixels.data(), 1, 1);
        QCOMPARE(image.colorDistance(0, 255, 10, 20, 30), 255 * 255);
        QCOMPARE(image.colorDistance(0, 0, 11, 18, 33), 1 + 4 + 9);
        QCOMPARE(image.colorDistance(1, 255, 0, 0, 0), 255 * 255); // empty entry: black, byte 3 zero
    }

    // Black pixels in a leaf whose average is not black map to the first
    // empty entry, which is black.
    void blackMapsToFirstEmptyEntry()
    {
        const std::vector<quint32> pixels{bgr(0, 0, 0), bgr(3, 3, 3), bgr(3, 3, 3), bgr(200, 0, 0)};
        IndexedImage image;
        image.build(pixels.data(), quint32(pixels.size()), 1);
        QCOMPARE(image.colorCount(), 2u);
        QCOMPARE(entry(image, 0), bgr(2, 2, 2, 0));
        const std::vector<quint8> expected{2, 0, 0, 1};
        QCOMPARE(std::vector<quint8>(image.indices(), image.indices() + 4), expected);
    }

    // With a used black entry, black maps there, not to the empty entries.
    void exactColourTakesLowestIndex()
    {
        const std::vector<quint32> pixels{bgr(0, 0, 0), bgr(0, 0, 0, 3), bgr(0, 0, 200)};
        IndexedImage image;
        image.build(pixels.data(), quint32(pixels.size()), 1);
        QCOMPARE(image.colorCount(), 2u);
        const std::vector<quint8> expected{0, 0, 1};
        QCOMPARE(std::vector<quint8>(image.indices(), image.indices() + 3), expected);
    }

    void tiesGoToTheLowestIndex()
    {
        // Two entries (red 10 and red 20); red 15 is exactly between them.
        const std::vector<quint32> pixels{bgr(0, 0, 20), bgr(0, 0, 10)};
        IndexedImage image;
        image.build(pixels.data(), 2, 1);
        QCOMPARE(entry(image, 0), bgr(0, 0, 10, 0));
        QCOMPARE(entry(image, 1), bgr(0, 0, 20, 0));
        QCOMPARE(image.mapPixel(bgr(0, 0, 15)), quint8(0));
        QCOMPARE(image.mapPixel(bgr(0, 0, 16)), quint8(1));
        NearestColorMap map(image.palette());
        QCOMPARE(map.search(bgr(0, 0, 15)), quint8(0));
        QCOMPARE(map.search(bgr(0, 0, 16)), quint8(1));
    }

    // A pixel at the largest possible distance from every entry gets index 0.
    void farthestColourGetsIndexZero()
    {
        const std::vector<quint32> pixels{bgr(0, 0, 0)};
        IndexedImage image;
        image.build(pixels.data(), 1, 1);
        QCOMPARE(image.mapPixel(bgr(255, 255, 255)), quint8(0));
        QCOMPARE(NearestColorMap(image.palette()).search(bgr(255, 255, 255)), quint8(0));
        // Also when entry 0 is not itself black.
        quint8 palette[1024] = {};
        palette[4] = palette[5] = palette[6] = 255; // entry 1 white, everything else black
        QCOMPARE(NearestColorMap(palette).search(bgr(255, 255, 255)), quint8(1));
        QCOMPARE(NearestColorMap(palette).search(bgr(0, 0, 0)), quint8(0));
    }

    void alphaDoesNotChangeTheIndex()
    {
        std::vector<quint32> pixels;
        for (int i = 0; i < 600; ++i)
            pixels.push_back(bgr(i * 7 % 256, i * 13 % 256, i * 29 % 256, i % 256));
        IndexedImage image;
        image.build(pixels.data(), 20, 30);
        QCOMPARE(image.pixelCount(), quint64(600));
        for (int i = 0; i < 600; ++i)
            QCOMPARE(image.indices()[i], image.mapPixel(pixels[i] | 0xff000000u));
    }

    // The fast map against the exhaustive search, on palettes made by the
    // quantizer from many kinds of input and on raw palettes, probing pixels,
    // random colours, the corners and points halfway between entries (ties).
    void fastMapMatchesExhaustiveSearch_data()
    {
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }
    void fastMapMatchesExhaustiveSearch()
    {
        QFETCH(int, seed);
        std::mt19937 rng(seed);
        IndexedImage image;
        std::vector<quint32> pixels;
        if (seed % 6 == 0) {
            // A raw palette: clustered entries, duplicates and non-zero byte 3.
            image.build(nullptr, 0, 1);
            for (int i = 0; i < 256; ++i) {
                quint8 *e = image.palette() + 4 * i;
                const int base = rng() % 2 ? 0 : 128;
                for (int k = 0; k < 3; ++k)
                    e[k] = quint8(base + rng() % 16);
                e[3] = seed % 12 == 0 ? quint8(rng() % 4) : 0;
                if (i > 0 && rng() % 8 == 0)
                    std::memcpy(e, e - 4 * (1 + rng() % i), 4);
            }
        } else {
            const int colours = seed % 3 == 0 ? 40 : 5000; // below and far above 256
            const int range = seed % 2 ? 256 : 64;
            for (int i = 0; i < colours; ++i)
                pixels.push_back(bgr(rng() % range, rng() % range, rng() % range, rng() % 256));
            image.build(pixels.data(), quint32(pixels.size()), 1);
            for (size_t i = 0; i < pixels.size(); ++i)
                QCOMPARE(image.indices()[i], image.mapPixel(pixels[i]));
        }
        std::vector<quint32> probes = pixels;
        for (int i = 0; i < 3000; ++i)
            probes.push_back(rng());
        for (int c = 0; c < 8; ++c)
            probes.push_back(bgr(c & 1 ? 255 : 0, c & 2 ? 255 : 0, c & 4 ? 255 : 0));
        for (int i = 0; i < 2000; ++i) {
            const quint8 *a = image.palette() + 4 * (rng() % 256);
            const quint8 *b = image.palette() + 4 * (rng() % 256);
            probes.push_back(bgr((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2, rng() % 256));
        }
        NearestColorMap map(image.palette());
        for (quint32 p : probes) {
            if (map.search(p) != image.mapPixel(p))
                QFAIL(qPrintable(QStringLiteral("pixel %1: fast %2, exhaustive %3")
                                     .arg(p, 8, 16, QLatin1Char('0'))
                                     .arg(map.search(p))
                                     .arg(image.mapPixel(p))));
        }
    }

    // A search restricted to entries first..end-1 against the plain search
    // over the same range: random palettes (with duplicates, entries outside
    // the range that would win, non-zero byte 3), random ranges, probes at
    // random, on entries, and halfway between entries.
    void restrictedSearchMatchesExhaustiveSearch_data()
    {
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 16; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }
    void restrictedSearchMatchesExhaustiveSearch()
    {
        QFETCH(int, seed);
        std::mt19937 rng(seed);
        std::vector<quint8> palette(1024);
        for (int i = 0; i < 256; ++i) {
            quint8 *e = palette.data() + 4 * i;
            const int spread = seed % 2 ? 256 : 24;
            for (int k = 0; k < 3; ++k)
                e[k] = quint8(rng() % spread);
            e[3] = seed % 4 == 0 ? quint8(rng() % 3) : 0;
            if (i > 0 && rng() % 6 == 0)
                std::memcpy(e, e - 4 * (1 + rng() % i), 4);
        }
        const int first = seed % 3 == 0 ? 0 : int(rng() % 200);
        const int end = seed % 5 == 0 ? 256 : first + 1 + int(rng() % (256 - first));
        std::vector<quint32> probes;
        for (int i = 0; i < 4000; ++i)
            probes.push_back(rng());
        for (int i = 0; i < 256; ++i) {
            const quint8 *a = palette.data() + 4 * i;
            const quint8 *b = palette.data() + 4 * (rng() % 256);
            probes.push_back(bgr(a[0], a[1], a[2]));
            probes.push_back(bgr((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2));
        }
        NearestColorMap map(palette.data(), first, end);
        for (quint32 p : probes) {
            const int fast = map.search(p), plain = kestrinref::nearestEntryInRange(palette.data(), first, end, p);
            if (fast != plain || fast < first || fast >= end)
                QFAIL(qPrintable(QStringLiteral("range %1..%2, pixel %3: fast %4, exhaustive %5")
                                     .arg(first)
                                     .arg(end - 1)
                                     .arg(p, 8, 16, QLatin1Char('0'))
                                     .arg(fast)
                                     .arg(plain)));
        }
        // The colours known beforehand get the same answers, on any number
        // of threads; a colour outside the set is not answered.
        std::vector<quint32> known;
        for (quint32 p : probes)
            known.push_back(p & 0xffffff);
        for (int i = 0; i < 17000; ++i) // enough to be shared out among threads
            known.push_back(rng() & 0xffffff);
        std::sort(known.begin(), known.end());
        known.erase(std::unique(known.begin(), known.end()), known.end());
        known.erase(std::remove(known.begin(), known.end(), quint32(0x123456)), known.end());
        for (int threads : {1, 3}) {
            const kestrin::KnownColors table(known, palette.data(), first, end, threads);
            for (quint32 p : known) {
                const int plain = kestrinref::nearestEntryInRange(palette.data(), first, end, p);
                if (table.find(p | 0xff000000u) != plain)
                    QFAIL(qPrintable(QStringLiteral("known colours, range %1..%2, colour %3: %4, exhaustive %5")
                                         .arg(first)
                                         .arg(end - 1)
                                         .arg(p, 6, 16, QLatin1Char('0'))
                                         .arg(table.find(p))
                                         .arg(plain)));
            }
            QCOMPARE(table.find(0x123456), -1);
        }
        // Over the whole palette the plain range search is the window's.
        IndexedImage image;
        image.build(nullptr, 0, 1);
        std::memcpy(image.palette(), palette.data(), 1024);
        for (int i = 0; i < 500; ++i)
            QCOMPARE(kestrinref::nearestEntryInRange(palette.data(), 0, 256, probes[size_t(i)]),
                     image.mapPixel(probes[size_t(i)]));
    }
};

KESTRIN_TEST(TestIndexed)
#include "tst_indexed.moc"
