#include "testmain.h"

#include "fixtures.h"
#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"

#include <QTest>

#include <climits>

using kestrin::Frame;
using kestrin::Project;

class TestTransparency : public QObject
{
    Q_OBJECT

private slots:
    void keyIsBuiltWithoutClampingOrMasking_data()
    {
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::addColumn<int>("blue");
        QTest::addColumn<quint32>("key");

        QTest::newRow("black") << 0 << 0 << 0 << 0x000000u;
        QTest::newRow("preview background") << 170 << 170 << 127 << 0xAAAA7Fu;
        QTest::newRow("channels in order") << 1 << 2 << 3 << 0x010203u;
        QTest::newRow("blue 256 spills into green") << 0 << 0 << 256 << 0x000100u;
        QTest::newRow("green 256 spills into red") << 0 << 256 << 0 << 0x010000u;
        QTest::newRow("red 256 sets a high bit") << 256 << 0 << 0 << 0x01000000u;
        QTest::newRow("negative blue") << 0 << 0 << -1 << 0xFFFFFFFFu;
        QTest::newRow("negative red") << -1 << 0 << 5 << 0xFFFF0005u;
        QTest::newRow("largest int red") << INT_MAX << 0 << 0 << 0xFFFF0000u;
        QTest::newRow("smallest int green") << 0 << INT_MIN << 0 << 0x00000000u;
    }

    void keyIsBuiltWithoutClampingOrMasking()
    {
        QFETCH(int, red);
        QFETCH(int, green);
        QFETCH(int, blue);
        QFETCH(quint32, key);
        QCOMPARE(kestrin::keyColor(red, green, blue), key);
    }

    void keyRewritesPixels_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<quint32>("key");
        QTest::addColumn<quint32>("pixel");
        QTest::addColumn<quint32>("result");

        QTest::newRow("black key, opaque black") << true << 0u << 0xFF000000u << 0x00000000u;
        QTest::newRow("black key, half-transparent black") << true << 0u << 0x12000000u << 0x00000000u;
        QTest::newRow("black key, other colour made opaque") << true << 0u << 0x40010000u << 0xFF010000u;
        QTest::newRow("key 0x000100 matches green 1") << true << 0x000100u << 0xFF000100u << 0x00000100u;
        QTest::newRow("key 0x000100 leaves blue 1") << true << 0x000100u << 0x7F000001u << 0xFF000001u;
        QTest::newRow("key with high bits matches nothing") << true << 0xFFFF0000u << 0x7FFF0000u << 0xFFFF0000u;
        QTest::newRow("disabled, key colour made opaque") << false << 0u << 0x00000000u << 0xFF000000u;
        QTest::newRow("disabled, opaque stays") << false << 0xAAAA7Fu << 0xFFAAAA7Fu << 0xFFAAAA7Fu;
    }

    void keyRewritesPixels()
    {
        QFETCH(bool, enabled);
        QFETCH(quint32, key);
        QFETCH(quint32, pixel);
        QFETCH(quint32, result);

        // The pixel sits among others so that a row or stride slip shows.
        QImage image = fixtures::canvas(3, 2, 0x80123456u, {{2, 1}}, pixel);
        kestrin::applyKey(image, enabled, key);
        QCOMPARE(fixtures::at(image, 2, 1), result);
        QCOMPARE(fixtures::at(image, 0, 0), 0xFF123456u);
        QCOMPARE(fixtures::at(image, 1, 1), 0xFF123456u);
    }

    void keyingTheWorkImageLeavesTheSourceAlone()
    {
        Frame frame;
        frame.sourceImage = fixtures::canvas(4, 3, 0x00000000u, {{1, 1}}, 0x80FF0000u);
        frame.workImage = frame.sourceImage; // shared, as after loading
        const QImage untouched = frame.sourceImage.copy();
        kestrin::applyKey(frame.workImage, false, 0);
        QCOMPARE(frame.sourceImage, untouched);
        QCOMPARE(fixtures::at(frame.workImage, 1, 1), 0xFFFF0000u);
    }

    void trimThenKeyTheBackground()
    {
        // Frames are trimmed first; background pixels left inside the box
        // then become transparent, the rest opaque.
        Project project;
        Frame *frame = project.appendStage()->appendFrame();
        frame->sourceImage = fixtures::canvas(6, 5, 0xFFAAAA7Fu, {{1, 1}, {3, 1}, {1, 3}, {3, 3}}, 0x80102030u);
        frame->workImage = frame->sourceImage;

        QVERIFY(kestrin::applyBoundRect(project, true));
        QVERIFY(kestrin::applyTransparency(project, true, kestrin::keyColor(170, 170, 127)));

        const QImage &work = frame->workImage;
        QCOMPARE(work.size(), QSize(3, 3));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                const bool ink = x % 2 == 0 && y % 2 == 0;
                QCOMPARE(fixtures::at(work, x, y), ink ? 0xFF102030u : 0x00AAAA7Fu);
            }
        }
        QCOMPARE(fixtures::at(frame->sourceImage, 1, 2), 0xFFAAAA7Fu);
    }

    void framesWithoutImagesHaveNoRows()
    {
        Project project;
        Frame *frame = project.appendStage()->appendFrame();
        QVERIFY(kestrin::applyBoundRect(project, true));
        QVERIFY(kestrin::applyTransparency(project, true, 0));
        QVERIFY(frame->workImage.isNull());
    }

    void emptyProjectIsLeftAlone()
    {
        Project project;
        QVERIFY(!kestrin::applyTransparency(project, true, 0));
        QVERIFY(!kestrin::applyTransparency(project, false, 0));
    }

    void pickReadsTheTopLeftColour()
    {
        const auto color = kestrin::pickColor(fixtures::canvas(2, 2, 0x00000000u, {{0, 0}}, 0x40AABB0Cu));
        QVERIFY(color.has_value());
        QCOMPARE(color->red, 0xAA);
        QCOMPARE(color->green, 0xBB);
        QCOMPARE(color->blue, 0x0C);
        QVERIFY(!kestrin::pickColor(QImage()).has_value());
    }
};

KESTRIN_TEST(TestTransparency)
#include "tst_transparency.moc"
