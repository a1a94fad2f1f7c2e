#include "testmain.h"

#include "fixtures.h"
#include "frameutil/boundrect.h"

#include <QTest>

using kestrin::BoundRect;
using kestrin::Frame;
using kestrin::Project;

Q_DECLARE_METATYPE(kestrin::BoundRect)

namespace kestrin {
// Lets QCOMPARE print bounds that differ.
char *toString(const BoundRect &b)
{
    return QTest::toString(QStringLiteral("(%1, %2, %3, %4)").arg(b.left).arg(b.top).arg(b.right).arg(b.bottom));
}
} // namespace kestrin

namespace {

Frame frameFrom(const QImage &image)
{
    Frame frame;
    frame.sourceImage = image;
    frame.workImage = image;
    return frame;
}

/** True when `work` holds exactly the pixels of `source` inside `b`. */
bool holdsSourcePixels(const QImage &work, const QImage &source, const BoundRect &b)
{
    if (work.width() != b.right - b.left || work.height() != b.bottom - b.top)
        return false;
    for (int y = 0; y < work.height(); ++y)
        for (int x = 0; x < work.width(); ++x)
            if (fixtures::at(work, x, y) != fixtures::at(source, b.left + x, b.top + y))
                return false;
    return true;
}

} // namespace

class TestBoundRect : public QObject
{
    Q_OBJECT

private slots:
    void trimsToContent_data()
    {
        QTest::addColumn<QImage>("source");
        QTest::addColumn<BoundRect>("bounds");

        const quint32 bg = 0xFF336699u;
        QTest::newRow("all pixels equal the top-left one") << fixtures::canvas(7, 4, bg) << BoundRect{7, 4, 0, 0};
        QTest::newRow("1 x 1 image") << fixtures::canvas(1, 1, bg) << BoundRect{1, 1, 0, 0};
        QTest::newRow("one different pixel") << fixtures::canvas(7, 4, bg, {{3, 2}}) << BoundRect{3, 2, 4, 3};
        QTest::newRow("content touching right and bottom edges")
            << fixtures::canvas(7, 4, bg, {{4, 1}, {6, 3}}) << BoundRect{4, 1, 7, 4};
        QTest::newRow("content in the top row") << fixtures::canvas(7, 4, bg, {{5, 0}}) << BoundRect{5, 0, 6, 1};
        QTest::newRow("content in the left column") << fixtures::canvas(7, 4, bg, {{0, 3}}) << BoundRect{0, 3, 1, 4};
        QTest::newRow("pixel differing only in alpha")
            << fixtures::canvas(7, 4, bg, {{2, 1}}, 0xFE336699u) << BoundRect{2, 1, 3, 2};
        QTest::newRow("transparent background, pixel differing only in colour")
            << fixtures::canvas(5, 5, 0x00000000u, {{1, 3}}, 0x00000001u) << BoundRect{1, 3, 2, 4};
        QTest::newRow("widest row is not the first content row")
            << fixtures::canvas(9, 6, bg, {{4, 1}, {1, 3}, {7, 3}, {5, 4}}) << BoundRect{1, 1, 8, 5};
        QTest::newRow("letter F") << fixtures::letterF() << BoundRect{1, 1, 5, 5};
        QTest::newRow("content over the whole image") << fixtures::canvas(3, 2, bg, {{2, 1}, {0, 1}, {1, 0}})
                                                       << BoundRect{0, 0, 3, 2};
    }

    void trimsToContent()
    {
        QFETCH(QImage, source);
        QFETCH(BoundRect, bounds);

        Frame frame = frameFrom(source);
        const QImage untouched = source.copy();
        kestrin::trimFrame(frame);

        QCOMPARE(frame.boundRect, bounds);
        QCOMPARE(frame.sourceImage, untouched);
        if (bounds.right <= bounds.left) {
            QVERIFY(frame.workImage.isNull());
        } else {
            QCOMPARE(frame.workImage.format(), QImage::Format_ARGB32);
            QVERIFY(holdsSourcePixels(frame.workImage, source, bounds));
        }
    }

    void trimmedImageSharesNoPixelsWithSource()
    {
        // Content over the whole image: the trim keeps every pixel, and
        // writing into the result must still leave the source alone.
        Frame frame = frameFrom(fixtures::canvas(3, 2, 0xFF000000u, {{2, 1}, {0, 1}, {1, 0}}));
        kestrin::trimFrame(frame);
        QVERIFY(frame.workImage.constBits() != frame.sourceImage.constBits());
        reinterpret_cast<quint32 *>(frame.workImage.bits())[0] = 0x12345678u;
        QCOMPARE(fixtures::at(frame.sourceImage, 0, 0), 0xFF000000u);
    }

    void nullSourceTrimsToNothing()
    {
        Frame frame;
        kestrin::trimFrame(frame);
        QVERIFY(frame.workImage.isNull());
        QCOMPARE(frame.boundRect, (BoundRect{0, 0, 0, 0}));
        kestrin::untrimFrame(frame);
        QVERIFY(frame.workImage.isNull());
        QCOMPARE(frame.boundRect, BoundRect());
    }

    void otherSourceFormatsAreMeasuredInArgb()
    {
        // A source that is not ARGB32 must not be read as 32-bit rows.
        QImage gray(5, 3, QImage::Format_Grayscale8);
        gray.fill(0);
        gray.scanLine(2)[3] = 200;
        Frame frame = frameFrom(gray);
        kestrin::trimFrame(frame);
        QCOMPARE(frame.boundRect, (BoundRect{3, 2, 4, 3}));
        QCOMPARE(frame.workImage.format(), QImage::Format_ARGB32);
        QCOMPARE(fixtures::at(frame.workImage, 0, 0), 0xFFC8C8C8u);
    }

    void emptyProjectIsLeftAlone()
    {
        Project project;
        QVERIFY(!kestrin::applyBoundRect(project, true));
        QVERIFY(!kestrin::applyBoundRect(project, false));
        QCOMPARE(project.stageCount, 0u);
    }
};

KESTRIN_TEST(TestBoundRect)
#include "tst_boundrect.moc"
