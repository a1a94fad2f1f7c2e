// The one rule by which the window's Apply and a build's trimming make a
// frame's working image from the image as loaded.
#include "fixtures.h"
#include "testmain.h"

#include "generate/framepreparation.h"
#include "generate/generationsettings.h"

#include <QTest>

namespace {

/** 5 x 3: a half-transparent top-left background (0x80aaaa7f), a content
 *  block of two colours (one of them the key 0x102030, opaque), and a
 *  pixel (4, 2) one step from the background's colour, alpha 0x80. */
QImage sample()
{
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(0x80aaaa7fu);
    image.setPixel(1, 1, 0xff102030u);
    image.setPixel(2, 1, 0xff405060u);
    image.setPixel(4, 2, 0x80abaa7fu);
    return image;
}

} // namespace

class FramePreparationTest : public QObject
{
    Q_OBJECT

private slots:
    void frameFollowsTheRule_data()
    {
        QTest::addColumn<bool>("trim");
        QTest::addColumn<bool>("useKey");
        QTest::addColumn<int>("tolerance"); // -1: no key in the colour options
        QTest::addColumn<int>("alphaThreshold");
        QTest::addColumn<QRect>("bounds");  // where the working image lies in the source
        QTest::addColumn<quint32>("first"); // working image's top-left pixel
        QTest::addColumn<quint32>("key");   // the pixel that held 0xff102030
        // Without a background rule: the top-left pixel decides the content
        // and every pixel ends opaque unless it is the key.
        QTest::newRow("whole, opaque") << false << false << -1 << 0 << QRect(0, 0, 5, 3) << 0xffaaaa7fu
                                       << 0xff102030u;
        QTest::newRow("trimmed, keyed") << true << true << -1 << 0 << QRect(1, 1, 4, 2) << 0x00102030u << 0x00102030u;
        // With one, alpha stays as loaded and the rule decides the content:
        // the near pixel is background within the tolerance, or by its alpha.
        QTest::newRow("key tolerance 1") << true << false << 1 << 0 << QRect(1, 1, 2, 1) << 0xff102030u
                                         << 0xff102030u;
        QTest::newRow("key tolerance 0") << true << false << 0 << 0 << QRect(1, 1, 4, 2) << 0xff102030u
                                         << 0xff102030u;
        QTest::newRow("alpha threshold") << true << false << -1 << 200 << QRect(1, 1, 2, 1) << 0xff102030u
                                         << 0xff102030u;
        QTest::newRow("alpha threshold, keyed, whole") << false << true << -1 << 200 << QRect(0, 0, 5, 3)
                                                       << 0x80aaaa7fu << 0x00102030u;
    }

    void frameFollowsTheRule()
    {
        QFETCH(bool, trim);
        QFETCH(bool, useKey);
        QFETCH(int, tolerance);
        QFETCH(int, alphaThreshold);
        QFETCH(QRect, bounds);
        QFETCH(quint32, first);
        QFETCH(quint32, key);
        kestrin::GenerationSettings settings;
        if (tolerance >= 0) {
            settings.useKey = true;
            settings.keyColor = 0xaaaa7f;
            settings.keyTolerance = tolerance;
        }
        settings.alphaThreshold = alphaThreshold;
        kestrin::Project project;
        kestrin::Frame *frame = fixture::addFrame(project.appendStage(), sample());
        QVERIFY(kestrin::trimFrames(project, kestrin::framePreparation(settings, true))); // a previous Apply
        kestrin::prepareFrame(*frame, kestrin::framePreparation(settings, trim, useKey, 0x102030));

        QCOMPARE(frame->workImage.size(), bounds.size());
        QCOMPARE(quint32(frame->workImage.pixel(0, 0)), first);
        QCOMPARE(quint32(frame->workImage.pixel(1 - bounds.left(), 1 - bounds.top())), key);
        QVERIFY(frame->sourceImage == sample()); // the source is never written
    }

    void passesNeedStages()
    {
        kestrin::Project empty;
        const kestrin::FramePreparation rule = kestrin::framePreparation(kestrin::GenerationSettings(), true, true);
        QVERIFY(!kestrin::trimFrames(empty, rule));
        QVERIFY(!kestrin::keyFrames(empty, rule));
    }
};

KESTRIN_TEST(FramePreparationTest)
#include "tst_framepreparation.moc"
