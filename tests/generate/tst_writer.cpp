// The ".art" writer: header fields, palette slots and copies, frame headers
// with their centres, index bytes in frame order, the index-0 fix, and the
// fast writer against the plain reference on generated projects.
#include "fixtures.h"
#include "testmain.h"
#include "fileio/failure.h"
#include "generate/jobfailure.h"

#include "referenceart.h"
#include "generate/artwriter.h"

#include <QBuffer>
#include <QTest>

#include <numeric>
#include <random>

using namespace fixture;
using kestrin::GenerationSettings;
using kestrin::Project;
namespace art = kestrin::art;

namespace {

GenerationSettings settingsOf(quint32 paletteCount, quint32 rotatable = 0, qint32 frameRate = 0, qint32 hitFrame = 0)
{
    GenerationSettings s;
    s.paletteCount = paletteCount;
    s.rotatable = rotatable;
    s.frameRate = frameRate;
    s.hitFrame = hitFrame;
    return s;
}

QByteArray le32(std::initializer_list<qint32> values)
{
    QByteArray out;
    for (qint32 v : values) {
        quint8 b[4];
        art::put32le(b, quint32(v));
        out.append(reinterpret_cast<const char *>(b), 4);
    }
    return out;
}

QByteArray paletteBytes(std::initializer_list<quint32> entries)
{
    QByteArray out(art::kPaletteSize, '\0');
    int i = 0;
    for (quint32 e : entries) {
        quint8 b[4];
        art::put32le(b, e & 0xffffff);
        std::memcpy(out.data() + 4 * i++, b, 4);
    }
    return out;
}

} // namespace

class TestWriter : public QObject
{
    Q_OBJECT

private slots:
    // One static stage of a 10 x 10 and a 4 x 6 frame: 132 + 1024 + 56 + 124 bytes.
    void goldenFileOfTwoFrames()
    {
        const quint32 red = bgr(0, 0, 255), green = bgr(0, 255, 0), blue = bgr(255, 0, 0);
        Project project;
        kestrin::Stage *stage = project.appendStage();
        // An "F" in blue on red, and a green frame with one blue pixel.
        addFrame(stage, image(10, 10, [&](int x, int y) {
                     return (x == 2 && y >= 2 && y <= 8) || (y == 2 && x >= 2 && x <= 6) || (y == 5 && x >= 2 && x <= 5)
                         ? blue
                         : red;
                 }));
        addFrame(stage, image(4, 6, [&](int x, int y) { return x == 3 && y == 0 ? blue : green; }));

        const QByteArray file = artBytes(project, settingsOf(1));
        QCOMPARE(file.size(), 1336);

        QByteArray expected = le32({1, 8, 8}) + QByteArray("KEST") + QByteArray(12, '\0') + le32({1, 2})
            + QByteArray(96, '\0');
        expected += paletteBytes({red, green, blue});
        expected += le32({10, 10, 100, 5, 5, 0, 0}) + le32({4, 6, 24, 2, 3, 0, 0});
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                const bool f = (x == 2 && y >= 2 && y <= 8) || (y == 2 && x >= 2 && x <= 6) || (y == 5 && x >= 2 && x <= 5);
                expected += char(f ? 2 : 0);
            }
        }
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 4; ++x)
                expected += char(x == 3 && y == 0 ? 2 : 1);
        }
        QCOMPARE(file, expected);
        QCOMPARE(kestrinref::referenceArtFile(project, settingsOf(1)), expected);
    }

    void headerFields_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("frames");
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<quint32>("rotatable");
        QTest::addColumn<qint32>("frameRate");
        QTest::addColumn<qint32>("hitFrame");
        QTest::addColumn<qint32>("staticFlag");
        QTest::addColumn<qint32>("rate");
        QTest::addColumn<qint32>("actionFrame");
        QTest::addColumn<qint32>("framesPerDirection");
        QTest::newRow("8 x 3 rotatable") << 8 << 3 << 1u << 1u << 0 << 0 << 0 << 8 << 2 << 3;
        QTest::newRow("3 x 4 static") << 3 << 4 << 2u << 0u << 0 << 0 << 1 << 8 << 3 << 12;
        QTest::newRow("P = 4, settings kept") << 2 << 2 << 4u << 0u << 15 << 7 << 1 << 15 << 7 << 4;
        QTest::newRow("negative settings unchecked") << 1 << 5 << 3u << 0u << -3 << -2 << 1 << -3 << -2 << 5;
        QTest::newRow("zero-frame stages") << 3 << 0 << 1u << 0u << 0 << 0 << 1 << 8 << -1 << 0;
        QTest::newRow("rotatable, zero frames") << 8 << 0 << 2u << 1u << 0 << 5 << 0 << 8 << 5 << 0;
    }
    void headerFields()
    {
        QFETCH(int, stages);
        QFETCH(int, frames);
        QFETCH(quint32, paletteCount);
        QFETCH(quint32, rotatable);
        QFETCH(qint32, frameRate);
        QFETCH(qint32, hitFrame);
        Project project;
        fill(project, stages, frames);
        const QByteArray file = artBytes(project, settingsOf(paletteCount, rotatable, frameRate, hitFrame));
        const quint64 count = quint64(stages) * frames;
        QCOMPARE(quint64(file.size()), art::fileSize(paletteCount, count, count * 6));

        const art::Header h = header(file);
        QTEST(h.staticFlag, "staticFlag");
        QTEST(h.rate, "rate");
        QCOMPARE(h.directionCount, 8);
        QTEST(h.actionFrame, "actionFrame");
        QTEST(h.framesPerDirection, "framesPerDirection");
        QCOMPARE(file.mid(art::kReservedOffset, art::kReservedSize), QByteArray(art::kReservedSize, '\0'));
        // Slot k holds signature characters 4k..4k+3 exactly for the palettes present.
        QCOMPARE(h.paletteCountFromSlots(), paletteCount);
        QCOMPARE(file.mid(art::kPaletteSlotsOffset, 4 * paletteCount), QByteArray(art::kSignature).left(4 * paletteCount));
        QCOMPARE(file.mid(art::kPaletteSlotsOffset + 4 * paletteCount, 16 - 4 * paletteCount),
                 QByteArray(16 - 4 * paletteCount, '\0'));
        // P identical palettes.
        const QByteArray first = file.mid(art::kPaletteOffset, art::kPaletteSize);
        for (quint32 k = 1; k < paletteCount; ++k)
            QCOMPARE(file.mid(art::kPaletteOffset + art::kPaletteSize * k, art::kPaletteSize), first);
        // Frame headers in frame order: stage by stage.
        for (quint32 i = 0; i < count; ++i) {
            const art::FrameHeader f = frameHeader(file, paletteCount, i);
            QCOMPARE(f.width, 3);
            QCOMPARE(f.height, 2);
            QCOMPARE(f.dataSize, 6);
            QCOMPARE(f.centerX, 1);
            QCOMPARE(f.centerY, 1);
        }
        QCOMPARE(file, kestrinref::referenceArtFile(project, settingsOf(paletteCount, rotatable, frameRate, hitFrame)));
    }

    void frameOrderIsStageByStage()
    {
        Project project;
        for (int s = 0; s < 2; ++s) {
            kestrin::Stage *stage = project.appendStage();
            for (int f = 0; f < 2; ++f)
                addFrame(stage, flat(1 + s, 1 + f, bgr(0, 0, 64 * (2 * s + f))));
        }
        const QByteArray file = artBytes(project, settingsOf(1));
        // Red 0, 64, 128, 192: four entries in ascending order; black first, so no swap.
        const int sizes[4][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}};
        QByteArray indices;
        for (int i = 0; i < 4; ++i) {
            const art::FrameHeader f = frameHeader(file, 1, i);
            QCOMPARE(f.width, sizes[i][0]);
            QCOMPARE(f.height, sizes[i][1]);
            indices += QByteArray(sizes[i][0] * sizes[i][1], char(i));
        }
        QCOMPARE(file.mid(int(art::indexDataOffset(1, 4))), indices);
    }

    void centres_data()
    {
        QTest::addColumn<int>("sourceWidth");
        QTest::addColumn<int>("sourceHeight");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<qint32>("centerX");
        QTest::addColumn<qint32>("centerY");
        QTest::newRow("untrimmed 31 x 20") << 31 << 20 << 0 << 0 << 15 << 10;
        QTest::newRow("trimmed from left 20") << 31 << 20 << 20 << 3 << -5 << 7;
        QTest::newRow("odd 5 x 7") << 5 << 7 << 1 << 0 << 1 << 3;
        QTest::newRow("below the centre") << 8 << 8 << 2 << 6 << 2 << -2;
    }
    void centres()
    {
        QFETCH(int, sourceWidth);
        QFETCH(int, sourceHeight);
        QFETCH(int, left);
        QFETCH(int, top);
        Project project;
        kestrin::Frame *frame = addFrame(project.appendStage(), flat(sourceWidth, sourceHeight, bgr(1, 2, 3)));
        frame->workImage = frame->sourceImage.copy(left, top, sourceWidth - left, sourceHeight - top);
        frame->boundRect = {left, top, sourceWidth, sourceHeight};
        const QByteArray file = artBytes(project, settingsOf(1));
        const art::FrameHeader f = frameHeader(file, 1, 0);
        QCOMPARE(f.width, sourceWidth - left);
        QCOMPARE(f.height, sourceHeight - top);
        QTEST(f.centerX, "centerX");
        QTEST(f.centerY, "centerY");
    }

    // Frames never loaded have null images: an all-zero header and no bytes.
    // The first pixel then comes from the first frame that has any.
    void nullImageFrames()
    {
        Project project;
        kestrin::Stage *stage = project.appendStage();
        stage->appendFrame();
        addFrame(stage, flat(2, 2, bgr(0, 0, 255)));
        stage->appendFrame();
        addFrame(stage, image(2, 1, [](int x, int) { return x ? bgr(0, 0, 255) : bgr(0, 0, 0); }));
        const QByteArray file = artBytes(project, settingsOf(1));
        QCOMPARE(file.size(), int(art::indexDataOffset(1, 4)) + 6);
        for (quint32 i : {0u, 2u}) {
            const art::FrameHeader f = frameHeader(file, 1, i);
            QCOMPARE(f.width, 0);
            QCOMPARE(f.height, 0);
            QCOMPARE(f.dataSize, 0);
            QCOMPARE(f.centerX, 0);
            QCOMPARE(f.centerY, 0);
        }
        // Quantizer order: black 0, red 1; the first pixel is red, so they swap.
        QCOMPARE(file.mid(art::kPaletteOffset, 8), paletteBytes({bgr(0, 0, 255), 0}).left(8));
        QCOMPARE(file.mid(int(art::indexDataOffset(1, 4))), QByteArray::fromHex("000000000100"));
        QCOMPARE(file, kestrinref::referenceArtFile(project, settingsOf(1)));
    }

    // Red 4k for k = 0..19 gives entries in ascending red; a first pixel of
    // red 68 is entry 17, which moves to 0 while the old entry 0 goes to 17.
    void indexZeroSwapWithQ17()
    {
        Project project;
        addFrame(project.appendStage(), image(20, 2, [](int x, int y) { return bgr(0, 0, 4 * ((x + 17 * (1 - y)) % 20)); }));
        const QByteArray file = artBytes(project, settingsOf(2));
        const QByteArray palette = file.mid(art::kPaletteOffset, art::kPaletteSize);
        QCOMPARE(palette.mid(0, 4), paletteBytes({bgr(0, 0, 68)}).left(4));
        QCOMPARE(palette.mid(17 * 4, 4), QByteArray(4, '\0'));
        QCOMPARE(palette.mid(5 * 4, 4), paletteBytes({bgr(0, 0, 20)}).left(4));
        QCOMPARE(file.mid(art::kPaletteOffset + art::kPaletteSize, art::kPaletteSize), palette);
        const QByteArray indices = file.mid(int(art::indexDataOffset(2, 1)));
        for (int i = 0; i < 40; ++i) {
            const int k = i < 20 ? (i + 17) % 20 : i - 20;
            const int expected = k == 17 ? 0 : k == 0 ? 17 : k;
            QCOMPARE(int(quint8(indices[i])), expected);
        }
        QCOMPARE(file, kestrinref::referenceArtFile(project, settingsOf(2)));
    }

    // A black first pixel whose leaf average is not black maps to the first
    // empty entry; entry 0 becomes black and the old entry 0 moves there.
    void firstPixelOnAnEmptyEntry()
    {
        Project project;
        addFrame(project.appendStage(), image(3, 1, [](int x, int) { return x == 0 ? bgr(0, 0, 0) : bgr(3, 3, 3); }));
        const QByteArray file = artBytes(project, settingsOf(1));
        const QByteArray palette = file.mid(art::kPaletteOffset, art::kPaletteSize);
        QCOMPARE(palette.left(8), paletteBytes({0, bgr(2, 2, 2)}).left(8));
        QCOMPARE(file.mid(int(art::indexDataOffset(1, 1))), QByteArray::fromHex("000101"));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("case_");
        QTest::addColumn<kestrin::FailureKind>("kind");
        QTest::addColumn<qint64>("found");
        QTest::newRow("no stages") << 0 << kestrin::FailureKind(kestrin::JobFailure::NoStages) << qint64(0);
        QTest::newRow("rotatable needs 8") << 1 << kestrin::FailureKind(kestrin::JobFailure::WrongStageCount) << qint64(7);
        QTest::newRow("4, 4, 3 frames") << 2 << kestrin::FailureKind(kestrin::JobFailure::FrameCountMismatch) << qint64(3);
        QTest::newRow("palette count 5") << 3 << kestrin::FailureKind(kestrin::JobFailure::BadPaletteCount) << qint64(5);
        QTest::newRow("palette count 0") << 4 << kestrin::FailureKind(kestrin::JobFailure::BadPaletteCount) << qint64(0);
    }
    void refusals()
    {
        QFETCH(int, case_);
        Project project;
        GenerationSettings settings = settingsOf(1);
        if (case_ == 1) {
            fill(project, 7, 1);
            settings.rotatable = 1;
        } else if (case_ == 2) {
            fill(project, 2, 4);
            fill(project, 1, 3);
        } else if (case_ >= 3) {
            fill(project, 1, 1);
            settings.paletteCount = case_ == 3 ? 5 : 0;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        const kestrin::Failure failure = kestrin::writeArt(buffer, project, settings);
        QTEST(failure.kind, "kind");
        QTEST(failure.found, "found");
        QVERIFY(bytes.isEmpty());
    }

    void writeErrorIsReported()
    {
        Project project;
        fill(project, 1, 2);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly); // every write fails
        const kestrin::Failure failure = kestrin::writeArt(buffer, project, settingsOf(1));
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FileFailure::CannotWriteFile));
        QVERIFY(!failure.reason.isEmpty());
    }

    // More than a million pixels: index bytes are mapped in several batches,
    // split between threads inside frames, and must still come out in frame
    // order. Each frame is one colour of its own, so each frame's bytes are its
    // colour's index, which the same project with 1 x 1 frames tells.
    void indexBytesStreamInOrderAcrossBatches()
    {
        Project big, small;
        kestrin::Stage *bigStage = big.appendStage();
        kestrin::Stage *smallStage = small.appendStage();
        std::vector<int> sizes;
        for (int i = 0; i < 24; ++i) {
            const quint32 colour = bgr(10 * i, 255 - 10 * i, (i * 53) % 256);
            const int side = 200 + 61 * (i % 5);
            sizes.push_back(side * side);
            addFrame(bigStage, flat(side, side, colour));
            addFrame(smallStage, flat(1, 1, colour));
        }
        const QByteArray file = artBytes(big, settingsOf(1));
        const QByteArray reference = kestrinref::referenceArtFile(small, settingsOf(1));
        QCOMPARE(file.mid(art::kPaletteOffset, art::kPaletteSize), reference.mid(art::kPaletteOffset, art::kPaletteSize));
        qsizetype at = qsizetype(art::indexDataOffset(1, 24));
        const qsizetype referenceAt = qsizetype(art::indexDataOffset(1, 24));
        QVERIFY(std::accumulate(sizes.begin(), sizes.end(), 0) > 1 << 21);
        for (int i = 0; i < 24; ++i) {
            QCOMPARE(file.mid(at, sizes[i]), QByteArray(sizes[i], reference[referenceAt + i]));
            at += sizes[i];
        }
        QCOMPARE(at, file.size());
    }

    // The streaming, cell-searching writer against the plain algorithm over
    // one combined buffer, on projects of every shape: many colours, colours
    // that differ only in alpha, flat areas, black, null and empty frames.
    void fastWriterMatchesReference_data()
    {
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 30; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }
    void fastWriterMatchesReference()
    {
        QFETCH(int, seed);
        std::mt19937 rng(seed);
        const bool large = seed == 30; // enough pixels to map on two threads
        const int stages = large ? 1 : 1 + rng() % 4, frames = large ? 2 : rng() % 4;
        const int style = seed % 5;
        Project project;
        for (int s = 0; s < stages; ++s) {
            kestrin::Stage *stage = project.appendStage();
            for (int f = 0; f < frames; ++f) {
                if (rng() % 9 == 0) {
                    stage->appendFrame(); // never loaded
                    continue;
                }
                const int w = large ? 300 : rng() % 40, h = large ? 200 : rng() % 30;
                const quint32 background = rng() & 0xffffff;
                addFrame(stage, image(w, h, [&](int x, int y) -> quint32 {
                             switch (style) {
                             case 0: // noise over the whole cube, random alpha
                                 return quint32(rng());
                             case 1: // a few colours, alpha varying
                                 return bgr(64 * (rng() % 4), 85 * (rng() % 3), 255 * (rng() % 2), rng() % 256);
                             case 2: // gradient with noise
                                 return bgr((x * 6 + rng() % 9) % 256, (y * 8 + rng() % 9) % 256, (x + y + s * 40) % 256);
                             case 3: // sprite: shape on a flat background
                                 return (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < w * h / 8
                                     ? bgr(x * 5 % 256, 200, y * 7 % 256)
                                     : background | 0xff000000u;
                             default: // dark colours near black, corners of the cube
                                 return rng() % 3 ? bgr(rng() % 6, rng() % 6, rng() % 6) : bgr(rng() % 2 * 255, rng() % 2 * 255, rng() % 2 * 255);
                             }
                         }));
            }
        }
        const GenerationSettings settings = settingsOf(1 + rng() % 4, 0, qint32(rng() % 30), qint32(rng() % 5));
        const QByteArray reference = kestrinref::referenceArtFile(project, settings);
        QVERIFY(!reference.isEmpty());
        QCOMPARE(artBytes(project, settings), reference);
    }
};

KESTRIN_TEST(TestWriter)
#include "tst_writer.moc"
