// Loading one image into a frame, and the stage/frame containers.
#include "project/frame.h"
#include "project/project.h"
#include "testmain.h"
#include "project/framefailure.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

using kestrin::BoundRect;
using kestrin::Frame;

namespace {

// A 6 x 5 asymmetric "F" on white, so a flipped axis or swapped channel shows.
QImage letterF(QImage::Format format = QImage::Format_RGB32)
{
    QImage image(6, 5, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < 5; ++y)
        image.setPixel(1, y, qRgb(200, 10, 30));
    for (int x = 1; x < 5; ++x)
        image.setPixel(x, 0, qRgb(200, 10, 30));
    for (int x = 1; x < 4; ++x)
        image.setPixel(x, 2, qRgb(20, 90, 250));
    return image.convertToFormat(format);
}

} // namespace

class FrameTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(letterF().save(path("f.png")));
        QVERIFY(letterF(QImage::Format_Indexed8).save(path("f8.bmp")));
        QImage other(3, 2, QImage::Format_ARGB32);
        other.fill(qRgba(1, 2, 3, 4));
        QVERIFY(other.save(path("other.png")));
        QFile text(path("notes.bmp"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not an image\n");
    }

    void newFrameIsEmpty()
    {
        Frame frame;
        QVERIFY(frame.filePath.isEmpty());
        QVERIFY(frame.sourceImage.isNull());
        QVERIFY(frame.workImage.isNull());
        QCOMPARE(frame.boundRect, BoundRect({0, 0, -1, -1}));
    }

    void failedLoadChangesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << path("nowhere.png");
        QTest::newRow("not an image") << path("notes.bmp");
        QTest::newRow("empty path") << QString();
        QTest::newRow("folder") << dir.path();
    }

    void failedLoadChangesNothing()
    {
        QFETCH(QString, file);
        Frame empty;
        QCOMPARE(kestrin::loadFrame(empty, file).kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QVERIFY(empty.filePath.isEmpty());
        QVERIFY(empty.sourceImage.isNull() && empty.workImage.isNull());

        Frame loaded;
        QVERIFY(!kestrin::loadFrame(loaded, path("f.png")));
        loaded.boundRect = {1, 0, 4, 3};
        loaded.workImage = loaded.sourceImage.copy(1, 0, 3, 3);
        const QImage work = loaded.workImage;
        QCOMPARE(kestrin::loadFrame(loaded, file).kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(loaded.filePath, path("f.png"));
        QCOMPARE(loaded.sourceImage, letterF().convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(loaded.workImage, work);
        QCOMPARE(loaded.boundRect, BoundRect({1, 0, 4, 3}));
    }

    void paletteImageBecomesArgb32()
    {
        Frame frame;
        QVERIFY(!kestrin::loadFrame(frame, path("f8.bmp")));
        QCOMPARE(frame.sourceImage.format(), QImage::Format_ARGB32);
        QCOMPARE(frame.sourceImage.size(), QSize(6, 5));
        QCOMPARE(frame.sourceImage.pixel(1, 4), qRgb(200, 10, 30));
        QCOMPARE(frame.sourceImage.pixel(3, 2), qRgb(20, 90, 250));
        QCOMPARE(frame.sourceImage.pixel(5, 4), qRgb(255, 255, 255));
        // The working image shares the source's pixels until it is changed.
        QCOMPARE(frame.workImage.constBits(), frame.sourceImage.constBits());
        QCOMPARE(frame.filePath, path("f8.bmp"));
    }

    void secondLoadReplacesEverything()
    {
        Frame frame;
        QVERIFY(!kestrin::loadFrame(frame, path("f.png")));
        frame.boundRect = {1, 0, 5, 3};
        frame.workImage = QImage();
        QVERIFY(!kestrin::loadFrame(frame, path("other.png")));
        QCOMPARE(frame.filePath, path("other.png"));
        QCOMPARE(frame.sourceImage.size(), QSize(3, 2));
        QCOMPARE(frame.sourceImage.pixel(0, 0), qRgba(1, 2, 3, 4));
        QCOMPARE(frame.workImage, frame.sourceImage);
        QCOMPARE(frame.boundRect, BoundRect({0, 0, -1, -1}));
    }

    void hugeImageIsRefused()
    {
        // A valid BMP header claiming 40000 x 40000 pixels: decoding would need
        // 6.4 GB, so the reader refuses it instead of exhausting memory.
        QByteArray bmp(54, '\0');
        auto put32 = [&bmp](int at, quint32 v) {
            for (int i = 0; i < 4; ++i)
                bmp[at + i] = char((v >> (8 * i)) & 0xff);
        };
        bmp[0] = 'B';
        bmp[1] = 'M';
        put32(2, 54 + 64);
        put32(10, 54);
        put32(14, 40);
        put32(18, 40000);
        put32(22, 40000);
        bmp[26] = 1;
        bmp[28] = 32;
        bmp.append(64, '\x7f');
        QFile file(path("huge.bmp"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bmp);
        file.close();
        Frame frame;
        QCOMPARE(kestrin::loadFrame(frame, path("huge.bmp")).kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QVERIFY(frame.sourceImage.isNull());
    }

    void extraFormatsAreReadable()
    {
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        for (const char *format : {"bmp", "png", "jpg", "xpm", "tga", "tiff", "webp"})
            QVERIFY2(formats.contains(format), format);
    }

    void containersKeepTheirCounts()
    {
        kestrin::Project project;
        kestrin::Stage *a = project.appendStage();
        kestrin::Stage *b = project.appendStage();
        QCOMPARE(project.stageCount, 2u);
        Frame *f0 = a->appendFrame();
        a->appendFrame();
        Frame *f2 = a->appendFrame();
        QCOMPARE(a->frameCount, 3u);
        a->removeFrame(1);
        a->removeFrame(7); // out of range: ignored
        QCOMPARE(a->frameCount, 2u);
        QCOMPARE(a->frames[0].get(), f0);
        QCOMPARE(a->frames[1].get(), f2);
        project.removeStage(0);
        project.removeStage(5);
        QCOMPARE(project.stageCount, 1u);
        QCOMPARE(project.stages[0].get(), b);
        project.clear();
        QCOMPARE(project.stageCount, 0u);
        QVERIFY(project.stages.empty());
    }
};

KESTRIN_TEST(FrameTest)
#include "tst_frame.moc"
