// A sprite's frames drawn as images, and opening a sprite file by its path
// (a regular file, a missing one, a FIFO).
#include "fixtures.h"
#include "specialfiles.h"
#include "testmain.h"

#include "artfile/artformat.h"
#include "artfile/artreader.h"
#include "cli/artfileopen.h"
#include "cli/artimage.h"
#include "generate/artwriter.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace fixture;

class ArtImageTest : public QObject
{
    Q_OBJECT

private slots:
    void framesDrawThroughThePalette_data()
    {
        QTest::addColumn<bool>("transparentZero");
        QTest::newRow("opaque") << false;
        QTest::newRow("index 0 transparent") << true;
    }

    void framesDrawThroughThePalette()
    {
        QFETCH(bool, transparentZero);
        const QByteArray bytes = smallSprite(1);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(bytes, art), error), qPrintable(error));
        const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
        for (int i = 0; i < 4; ++i) {
            const kestrin::ArtFrame &f = art.frames[size_t(i)];
            const QImage image = kestrin::frameImage(art, i, transparentZero);
            const QImage indexed = kestrin::frameIndexedImage(art, i, transparentZero);
            QCOMPARE(image.size(), QSize(f.width, f.height));
            QCOMPARE(indexed.size(), QSize(f.width, f.height));
            QCOMPARE(indexed.colorTable(), art.colorTable(transparentZero));
            for (int y = 0; y < f.height; ++y) {
                for (int x = 0; x < f.width; ++x) {
                    const uchar index = data[f.dataOffset + y * f.width + x];
                    const uchar *entry = data + 132 + 4 * index;
                    const QRgb want = transparentZero && index == 0 ? 0 : qRgb(entry[2], entry[1], entry[0]);
                    QCOMPARE(image.pixel(x, y), want);
                    QCOMPARE(indexed.pixelIndex(x, y), int(index));
                }
            }
        }
    }

    void aFrameWithoutPixelsIsANullImage()
    {
        // One 0 x 7 frame after header and palette.
        QByteArray bytes = smallSprite(1).left(qint64(kestrin::art::frameHeadersOffset(1)));
        qToLittleEndian<quint32>(1, bytes.data() + kestrin::art::kFramesPerDirectionOffset);
        bytes.append(QByteArray(28, '\0'));
        qToLittleEndian<quint32>(7, bytes.data() + kestrin::art::frameHeadersOffset(1) + 4);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(bytes, art), error), qPrintable(error));
        QCOMPARE(art.frames.size(), size_t(1));
        QVERIFY(kestrin::frameImage(art, 0, false).isNull());
        QVERIFY(kestrin::frameIndexedImage(art, 0, true).isNull());
    }

    void readsFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.art"));
        kestrin::ArtFile art;
        QString error;
        QVERIFY(!fixture::succeeded(kestrin::readArtFile(path, art), error));
        QVERIFY(!error.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(smallSprite(2));
        file.close();
        QVERIFY2(fixture::succeeded(kestrin::readArtFile(path, art), error), qPrintable(error));
        QCOMPARE(art.frames.size(), size_t(4));
        QCOMPARE(art.paletteCount, 2u);
    }

    void readsAFifo()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("sprite.art"));
        QVERIFY(specialfiles::makeFifo(fifo));
        const QByteArray bytes = smallSprite(3);
        specialfiles::FifoWriter writer(fifo, bytes);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::readArtFile(fifo, art), error), qPrintable(error));
        QVERIFY(writer.finish());
        QCOMPARE(art.bytes, bytes);
        QCOMPARE(art.paletteCount, 3u);
    }
};

KESTRIN_TEST(ArtImageTest)
#include "tst_artimage.moc"
