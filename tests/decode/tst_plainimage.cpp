// PlainImage, the image of kestrin-art's build program, against QImage: the
// same words from every operation the core uses, and the same sharing.
#include "decode/imagedecoder.h"
#include "decode/plainimage.h"
#include "testmain.h"

#include <QImageReader>
#include <QTest>

namespace {

using kestrin::PlainImage;

QImage patterned(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 40, y * 30, x ^ y, 255 - x - y));
    return image;
}

PlainImage plainOf(const QImage &image)
{
    PlainImage plain(image.width(), image.height(), PlainImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(plain.scanLine(y), image.constScanLine(y), size_t(image.width()) * 4);
    return plain;
}

/** Empty when `plain` holds exactly `qt`'s size and words, else what differs. */
QString difference(const PlainImage &plain, const QImage &qt)
{
    if (plain.isNull() != qt.isNull() || plain.size() != qt.size())
        return QStringLiteral("null %1 / %2, size %3x%4 / %5x%6")
            .arg(plain.isNull())
            .arg(qt.isNull())
            .arg(plain.width())
            .arg(plain.height())
            .arg(qt.width())
            .arg(qt.height());
    if (plain.bytesPerLine() != qt.bytesPerLine() || plain.sizeInBytes() != qt.sizeInBytes())
        return QStringLiteral("layout differs");
    for (int y = 0; y < qt.height(); ++y)
        for (int x = 0; x < qt.width(); ++x)
            if (plain.pixel(x, y) != qt.pixel(x, y))
                return QStringLiteral("pixel %1,%2: %3 / %4")
                    .arg(x)
                    .arg(y)
                    .arg(plain.pixel(x, y), 8, 16)
                    .arg(qt.pixel(x, y), 8, 16);
    return QString();
}

} // namespace

class PlainImageTest : public QObject
{
    Q_OBJECT

private slots:
    // Cutting, as trimming does, inside the image, across its edges and
    // beyond them (QImage fills what lies outside with 0).
    void copyGivesQImagesWords_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::newRow("whole") << QRect(0, 0, 7, 5);
        QTest::newRow("inside") << QRect(2, 1, 3, 2);
        QTest::newRow("one pixel") << QRect(6, 4, 1, 1);
        QTest::newRow("across the top left") << QRect(-2, -1, 4, 3);
        QTest::newRow("across the bottom right") << QRect(5, 3, 4, 4);
        QTest::newRow("around the image") << QRect(-1, -1, 9, 7);
        QTest::newRow("wholly outside") << QRect(10, 10, 2, 2);
        QTest::newRow("empty") << QRect(1, 1, 0, 3);
    }
    void copyGivesQImagesWords()
    {
        QFETCH(QRect, rect);
        const QImage qt = patterned(7, 5);
        const PlainImage plain = plainOf(qt);
        QVERIFY2(difference(plain, qt).isEmpty(), qPrintable(difference(plain, qt)));
        const QString copied = difference(plain.copy(rect), qt.copy(rect));
        QVERIFY2(copied.isEmpty(), qPrintable(copied));
    }

    void otherOperationsGiveQImagesWords()
    {
        const QImage qt = patterned(6, 4);
        const PlainImage plain = plainOf(qt);
        for (const bool horizontally : {false, true}) {
            for (const bool vertically : {false, true}) {
                const QString mirrored
                    = difference(plain.mirrored(horizontally, vertically), qt.mirrored(horizontally, vertically));
                QVERIFY2(mirrored.isEmpty(), qPrintable(mirrored));
            }
        }
        const QString converted
            = difference(plain.convertToFormat(PlainImage::Format_ARGB32), qt.convertToFormat(QImage::Format_ARGB32));
        QVERIFY2(converted.isEmpty(), qPrintable(converted));
        PlainImage filled = plain;
        QImage qtFilled = qt;
        filled.fill(0x80402010u);
        qtFilled.fill(0x80402010u);
        QVERIFY(difference(filled, qtFilled).isEmpty());
        QCOMPARE(plain.pixel(-1, 0), 0u);
        QCOMPARE(plain.pixel(6, 0), 0u);
    }

    // Copies share their words until one is written through; the other
    // then keeps what it had (frames share their source image until trimming
    // or keying changes one).
    void copiesShareUntilWritten()
    {
        const PlainImage original = plainOf(patterned(4, 3));
        PlainImage copy = original;
        QCOMPARE(copy.constBits(), original.constBits());
        copy.scanLine(1)[0] = 0x11;
        QVERIFY(copy.constBits() != original.constBits());
        QCOMPARE(original.pixel(0, 1), patterned(4, 3).pixel(0, 1));
        PlainImage filled = original;
        filled.fill(0);
        QCOMPARE(original.pixel(3, 2), patterned(4, 3).pixel(3, 2));
        PlainImage written = original;
        written.bits()[0] = 0x22;
        QCOMPARE(original.pixel(0, 0), patterned(4, 3).pixel(0, 0));
        // A sole owner writes in place.
        const uchar *before = written.constBits();
        written.fill(1);
        QCOMPARE(written.constBits(), before);
    }

    void sizesThatCannotBeHeldGiveNullImages_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("null");
        QTest::newRow("1 x 1") << 1 << 1 << int(PlainImage::Format_ARGB32) << false;
        QTest::newRow("0 wide") << 0 << 5 << int(PlainImage::Format_ARGB32) << true;
        QTest::newRow("negative height") << 5 << -1 << int(PlainImage::Format_ARGB32) << true;
        QTest::newRow("rows longer than QImage holds") << (1 << 29) << 1 << int(PlainImage::Format_ARGB32) << true;
        QTest::newRow("another format") << 2 << 2 << int(PlainImage::Format_RGB32) << true;
    }
    void sizesThatCannotBeHeldGiveNullImages()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, format);
        QFETCH(bool, null);
        const PlainImage image(width, height, PlainImage::Format(format));
        QCOMPARE(image.isNull(), null);
        QCOMPARE(image.format(), null ? PlainImage::Format_Invalid : PlainImage::Format_ARGB32);
        QCOMPARE(image.size(), null ? QSize(0, 0) : QSize(width, height));
    }

    // The build program, without QImageReader, refuses images beyond the
    // limit Qt's readers apply in the window.
    void decodeLimitIsQtsDefault()
    {
        QCOMPARE(QImageReader::allocationLimit(), kestrin::kDefaultAllocationLimitMiB);
    }
};

KESTRIN_TEST(PlainImageTest)
#include "tst_plainimage.moc"
