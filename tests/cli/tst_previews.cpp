// kestrin-art extract --gif and --indexed, read back with giflib and Qt's PNG
// reader: what the GIFs and PNGs hold is the file's own palette and indices.
#include "artfile/artreader.h"
#include "cli/artfileopen.h"
#include "clifixtures.h"
#include "giffile/gifwriter.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gif_lib.h>

#include <limits>
#include <memory>

using namespace clifixture;

namespace {

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using Gif = std::unique_ptr<GifFileType, GifCloser>;

/** The whole GIF at `path` read by giflib, or null. */
Gif readGif(const QString &path)
{
    int error = 0;
    Gif gif(DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (gif && DGifSlurp(gif.get()) != GIF_OK)
        gif.reset();
    return gif;
}

/** True when the extension blocks hold the looping block with a count of 0. */
bool loopsForever(const SavedImage &image)
{
    for (int i = 0; i + 1 < image.ExtensionBlockCount; ++i) {
        const ExtensionBlock &b = image.ExtensionBlocks[i];
        const ExtensionBlock &next = image.ExtensionBlocks[i + 1];
        if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11
            && QByteArray(reinterpret_cast<const char *>(b.Bytes), 11) == "NETSCAPE2.0")
            return next.ByteCount == 3 && next.Bytes[0] == 1 && next.Bytes[1] == 0 && next.Bytes[2] == 0;
    }
    return false;
}

kestrin::ArtFile readArt(const QString &path)
{
    kestrin::ArtFile art;
    QString error;
    if (!fixture::succeeded(kestrin::readArtFile(path, art), error))
        qWarning() << path << error;
    return art;
}

} // namespace

class PreviewsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_rotatable; // 8 directions x 2 frames, all centred at (3, 2), frame (7, 1) empty, rate 5
    QString m_static;    // kestrin-art's own static build of trimmed frames, centres all different

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        m_rotatable = path(QStringLiteral("walk.art"));
        QVERIFY(writeRotatableSprite(m_rotatable));
        const QString frames = path(QStringLiteral("frames"));
        QVERIFY(writeFrames(frames, QStringLiteral("camera%1_%2.png"), {1, 2}, [](int) { return 4; }));
        m_static = path(QStringLiteral("idle.art"));
        const Run build = run({QStringLiteral("build"), frames, QStringLiteral("-o"), m_static, QStringLiteral("--pattern"),
                               QStringLiteral("camera%1_%2.png"), QStringLiteral("--trim"), QStringLiteral("--frame-rate"),
                               QStringLiteral("8"), QStringLiteral("--quiet")});
        QVERIFY2(build.exitCode == 0, qPrintable(build.err));
    }

    void delayIsTheRateRoundedToHundredths_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("delay");
        QTest::newRow("1 fps") << 1 << 100;
        QTest::newRow("3 fps, 33.3") << 3 << 33;
        QTest::newRow("8 fps, 12.5 up") << 8 << 13;
        QTest::newRow("7 fps, 14.3") << 7 << 14;
        QTest::newRow("40 fps, 2.5 up") << 40 << 3;
        QTest::newRow("99 fps, at least 2") << 99 << 2;
    }
    void delayIsTheRateRoundedToHundredths()
    {
        QFETCH(int, rate);
        QFETCH(int, delay);
        QCOMPARE(kestrin::gifDelay(rate), delay);
    }

    // One GIF per direction: the file's 256 colours, one image per frame on
    // the whole canvas at the file's rate, index 0 transparent only when
    // asked, restored to the background so nothing smears, looping forever.
    // Frames of this sprite all have centre (3, 2), so each sits at the
    // canvas's corner, and the canvas is the largest frame, 10 x 3.
    void gifPerDirection_data()
    {
        QTest::addColumn<bool>("transparentZero");
        QTest::newRow("opaque") << false;
        QTest::newRow("--transparent-zero") << true;
    }
    void gifPerDirection()
    {
        QFETCH(bool, transparentZero);
        const QString out = path(QStringLiteral("gif-%1").arg(transparentZero));
        QStringList args{QStringLiteral("extract"), m_rotatable, out, QStringLiteral("--gif")};
        if (transparentZero)
            args << QStringLiteral("--transparent-zero");
        const Run cli = run(args);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        const kestrin::ArtFile art = readArt(m_rotatable);
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 8);
        for (int d = 0; d < 8; ++d) {
            const QString file = out + QStringLiteral("/walk_dir0%1.gif").arg(d + 1);
            const Gif gif = readGif(file);
            QVERIFY2(gif, qPrintable(file));
            QCOMPARE(gif->SWidth, 10);
            QCOMPARE(gif->SHeight, 3);
            QCOMPARE(gif->SColorMap->ColorCount, 256);
            for (int c = 0; c < 256; ++c) {
                const GifColorType rgb = gif->SColorMap->Colors[c];
                QCOMPARE(qRgb(rgb.Red, rgb.Green, rgb.Blue), art.color(quint8(c)));
            }
            QCOMPARE(gif->ImageCount, 2);
            QVERIFY(loopsForever(gif->SavedImages[0]));
            for (int f = 0; f < 2; ++f) {
                const SavedImage &image = gif->SavedImages[f];
                GraphicsControlBlock control;
                QCOMPARE(DGifSavedExtensionToGCB(gif.get(), f, &control), GIF_OK);
                QCOMPARE(control.DelayTime, 20); // 5 frames per second
                QCOMPARE(control.TransparentColor, transparentZero ? 0 : NO_TRANSPARENT_COLOR);
                QCOMPARE(control.DisposalMode, DISPOSE_BACKGROUND);
                QCOMPARE(QRect(image.ImageDesc.Left, image.ImageDesc.Top, image.ImageDesc.Width, image.ImageDesc.Height),
                         QRect(0, 0, 10, 3));
                const kestrin::ArtFrame &frame = art.frames[size_t(2 * d + f)];
                const quint8 *indices = frame.dataSize ? art.frameIndices(2 * d + f) : nullptr;
                for (int y = 0; y < 3; ++y) {
                    for (int x = 0; x < 10; ++x) {
                        const bool inside = x < frame.width && y < frame.height;
                        QCOMPARE(int(image.RasterBits[y * 10 + x]), inside ? int(indices[y * frame.width + x]) : 0);
                    }
                }
            }
        }
    }

    // A static sprite is one GIF whose frames are the cells of its sheet:
    // where the sheet is transparent the GIF holds index 0, elsewhere the
    // sheet's colour is the GIF's palette entry.
    void staticGifFramesAreTheSheetsCells()
    {
        const QString out = path(QStringLiteral("static"));
        const Run gifRun = run({QStringLiteral("extract"), m_static, out, QStringLiteral("--gif"),
                                QStringLiteral("--transparent-zero")});
        QVERIFY2(gifRun.exitCode == 0, qPrintable(gifRun.err));
        const Run sheetRun = run({QStringLiteral("extract"), m_static, out, QStringLiteral("--sheet"),
                                  QStringLiteral("--transparent-zero")});
        QVERIFY2(sheetRun.exitCode == 0, qPrintable(sheetRun.err));
        const Gif gif = readGif(out + QStringLiteral("/idle.gif"));
        QVERIFY(gif);
        const QImage sheet(out + QStringLiteral("/idle.png"));
        QCOMPARE(gif->ImageCount, 8);
        QCOMPARE(sheet.size(), QSize(gif->SWidth * 8, gif->SHeight));
        GraphicsControlBlock control;
        QCOMPARE(DGifSavedExtensionToGCB(gif.get(), 0, &control), GIF_OK);
        QCOMPARE(control.DelayTime, 13); // 8 frames per second
        bool offset = false; // some frame does not start at the cell's corner
        for (int f = 0; f < 8; ++f) {
            const GifByteType *raster = gif->SavedImages[f].RasterBits;
            offset = offset || raster[0] == 0;
            for (int y = 0; y < gif->SHeight; ++y) {
                for (int x = 0; x < gif->SWidth; ++x) {
                    const int index = raster[y * gif->SWidth + x];
                    const QRgb pixel = sheet.pixel(f * gif->SWidth + x, y);
                    if (index == 0) {
                        QCOMPARE(qAlpha(pixel), 0);
                    } else {
                        const GifColorType rgb = gif->SColorMap->Colors[index];
                        QCOMPARE(pixel, qRgb(rgb.Red, rgb.Green, rgb.Blue));
                    }
                }
            }
        }
        QVERIFY(offset);
    }

    // Each frame with pixels becomes an 8-bit palette PNG that reads back as
    // the file's indices with the file's 256 colours; <name>.json beside
    // them keeps each frame's size and centre.
    void indexedFramesKeepIndicesAndPalette_data()
    {
        QTest::addColumn<bool>("transparentZero");
        QTest::newRow("opaque") << false;
        QTest::newRow("--transparent-zero") << true;
    }
    void indexedFramesKeepIndicesAndPalette()
    {
        QFETCH(bool, transparentZero);
        const QString out = path(QStringLiteral("indexed-%1").arg(transparentZero));
        QStringList args{QStringLiteral("extract"), m_rotatable, out, QStringLiteral("--indexed")};
        if (transparentZero)
            args << QStringLiteral("--transparent-zero");
        const Run cli = run(args);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        const kestrin::ArtFile art = readArt(m_rotatable);
        const QJsonObject json = QJsonDocument::fromJson(readAll(out + QStringLiteral("/walk.json"))).object();
        const QJsonArray frames = json.value(QStringLiteral("frames")).toArray();
        QCOMPARE(frames.size(), 16);
        QCOMPARE(json.value(QStringLiteral("rate")).toInt(), 5);
        QCOMPARE(json.value(QStringLiteral("actionFrame")).toInt(), 1);
        for (int i = 0; i < 16; ++i) {
            const kestrin::ArtFrame &frame = art.frames[size_t(i)];
            const QJsonObject f = frames.at(i).toObject();
            QCOMPARE(f.value(QStringLiteral("width")).toInt(), frame.width);
            QCOMPARE(f.value(QStringLiteral("height")).toInt(), frame.height);
            QCOMPARE(f.value(QStringLiteral("centerX")).toInt(), frame.centerX);
            QCOMPARE(f.value(QStringLiteral("centerY")).toInt(), frame.centerY);
            if (frame.dataSize == 0) {
                QVERIFY(!f.contains(QStringLiteral("file")));
                continue;
            }
            const QString file = out + QLatin1Char('/') + f.value(QStringLiteral("file")).toString();
            const QByteArray png = readAll(file);
            QVERIFY2(png.size() > 26, qPrintable(file));
            QCOMPARE(int(uchar(png[24])), 8); // bit depth
            QCOMPARE(int(uchar(png[25])), 3); // colour type: palette
            const QImage image(file);
            QCOMPARE(image.format(), QImage::Format_Indexed8);
            QCOMPARE(image.size(), QSize(frame.width, frame.height));
            const QVector<QRgb> table = image.colorTable();
            QCOMPARE(table.size(), 256);
            for (int c = 0; c < 256; ++c) {
                QCOMPARE(table[c] & 0xffffff, art.color(quint8(c)) & 0xffffff);
                QCOMPARE(qAlpha(table[c]), transparentZero && c == 0 ? 0 : 255);
            }
            const quint8 *indices = art.frameIndices(i);
            for (int y = 0; y < frame.height; ++y)
                for (int x = 0; x < frame.width; ++x)
                    QCOMPARE(image.pixelIndex(x, y), int(indices[y * frame.width + x]));
        }
    }

    // The artist's round trip: frames extracted as indexed PNGs and built
    // again with the same file as the fixed palette give back the same
    // palette and the same indices.
    void indexedFramesRebuildWithTheirPalette()
    {
        if (!run({QStringLiteral("build"), QStringLiteral("--help")}).out.contains(QStringLiteral("--palette ")))
            QSKIP("build has no --palette option: the round trip needs a fixed palette");
        const QString out = path(QStringLiteral("roundtrip"));
        const Run extract = run({QStringLiteral("extract"), m_static, out, QStringLiteral("--indexed")});
        QVERIFY2(extract.exitCode == 0, qPrintable(extract.err));
        const QString rebuilt = path(QStringLiteral("rebuilt.art"));
        const Run build = run({QStringLiteral("build"), out, QStringLiteral("-o"), rebuilt, QStringLiteral("--pattern"),
                               QStringLiteral("camera%1_%2.png"), QStringLiteral("--palette"), m_static,
                               QStringLiteral("--quiet")});
        QVERIFY2(build.exitCode == 0, qPrintable(build.err));
        const kestrin::ArtFile before = readArt(m_static);
        const kestrin::ArtFile after = readArt(rebuilt);
        QCOMPARE(after.palette, before.palette);
        QCOMPARE(after.frames.size(), before.frames.size());
        for (size_t i = 0; i < before.frames.size(); ++i) {
            const qint64 size = before.frames[i].dataSize;
            QCOMPARE(after.frames[i].dataSize, before.frames[i].dataSize);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(after.frameIndices(int(i))), size),
                     QByteArray(reinterpret_cast<const char *>(before.frameIndices(int(i))), size));
        }
    }

    // Centres far apart would need a canvas billions of pixels wide: refused
    // before anything is allocated, and no file is written.
    void gifTooLargeIsRefused()
    {
        QByteArray bytes = readAll(m_rotatable);
        const int centerX = 132 + 2 * 1024 + 12; // frame 0's header, after two palettes
        qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), bytes.data() + centerX);
        const QString file = path(QStringLiteral("far.art"));
        QVERIFY(writeAll(file, bytes));
        const QString out = path(QStringLiteral("far"));
        const Run cli = run({QStringLiteral("extract"), file, out, QStringLiteral("--gif")});
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.contains(QStringLiteral("is more than kestrin-art draws (an animation holds at most "
                                                 "268435456 pixels, and 32767 pixels per side)")),
                 qPrintable(cli.err));
        QVERIFY(QDir(out).isEmpty());
    }

    void outputsChooseOneKind()
    {
        const Run cli = run({QStringLiteral("extract"), m_static, path(QStringLiteral("both")), QStringLiteral("--gif"),
                             QStringLiteral("--indexed")});
        QCOMPARE(cli.exitCode, 2);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("both"))));
    }
};

KESTRIN_TEST(PreviewsTest)
#include "tst_previews.moc"
