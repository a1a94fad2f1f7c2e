// kestrin-art info and extract: what they report and write matches the bytes
// of the file, checked by plain offset arithmetic rather than the reader.
#include "clifixtures.h"
#include "generate/generation.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <limits>

using namespace clifixture;

namespace {

constexpr qint64 kFrames = 16;
constexpr qint64 kHeaders = 132 + 2 * 1024; // where the frame headers start

qint32 frameField(const QByteArray &file, qint64 frame, int offset)
{
    return field(file, kHeaders + 28 * frame + offset);
}

qint64 dataOffset(const QByteArray &file, qint64 frame)
{
    qint64 offset = kHeaders + 28 * kFrames;
    for (qint64 i = 0; i < frame; ++i)
        offset += frameField(file, i, 8);
    return offset;
}

QRgb paletteColor(const QByteArray &file, uchar index)
{
    const auto *entry = reinterpret_cast<const uchar *>(file.constData()) + 132 + 4 * index;
    return qRgb(entry[2], entry[1], entry[0]);
}

} // namespace

class InfoExtractTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_art;
    QByteArray m_bytes;

private slots:
    void initTestCase()
    {
        m_art = m_dir.filePath(QStringLiteral("walk.art"));
        QVERIFY(writeRotatableSprite(m_art));
        m_bytes = readAll(m_art);
        QCOMPARE(m_bytes.size(), int(dataOffset(readAll(m_art), kFrames)));
    }

    void infoJsonMatchesTheFile()
    {
        const Run cli = run({QStringLiteral("info"), m_art, QStringLiteral("--json")});
        QCOMPARE(cli.exitCode, 0);
        const QJsonObject info = QJsonDocument::fromJson(cli.out.toUtf8()).object();
        QCOMPARE(info.value(QStringLiteral("fileSize")).toInteger(), qint64(m_bytes.size()));
        QCOMPARE(info.value(QStringLiteral("type")).toString(), QStringLiteral("rotatable"));
        QCOMPARE(info.value(QStringLiteral("staticFlag")).toInt(), 0);
        QCOMPARE(info.value(QStringLiteral("rate")).toInt(), 5);
        QCOMPARE(info.value(QStringLiteral("directionCount")).toInt(), 8);
        QCOMPARE(info.value(QStringLiteral("framesPerDirection")).toInt(), 2);
        QCOMPARE(info.value(QStringLiteral("actionFrame")).toInt(), 1);
        QCOMPARE(info.value(QStringLiteral("paletteCount")).toInt(), 2);
        QCOMPARE(info.value(QStringLiteral("signature")).toString(), QStringLiteral("KESTRIN-"));
        const QJsonArray palette = info.value(QStringLiteral("palette")).toArray();
        QCOMPARE(info.value(QStringLiteral("colorCount")).toInt(), palette.size());
        QVERIFY(palette.size() > 1);
        QCOMPARE(palette.at(1).toString(),
                 QStringLiteral("#%1").arg(paletteColor(m_bytes, 1) & 0xffffff, 6, 16, QLatin1Char('0')));
        const QJsonArray frames = info.value(QStringLiteral("frames")).toArray();
        QCOMPARE(frames.size(), int(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            const QJsonObject f = frames.at(i).toObject();
            QCOMPARE(f.value(QStringLiteral("direction")).toInt(), i / 2);
            QCOMPARE(f.value(QStringLiteral("frame")).toInt(), i % 2);
            QCOMPARE(f.value(QStringLiteral("width")).toInt(), frameField(m_bytes, i, 0));
            QCOMPARE(f.value(QStringLiteral("height")).toInt(), frameField(m_bytes, i, 4));
            QCOMPARE(f.value(QStringLiteral("dataSize")).toInt(), frameField(m_bytes, i, 8));
            QCOMPARE(f.value(QStringLiteral("centerX")).toInt(), frameField(m_bytes, i, 12));
            QCOMPARE(f.value(QStringLiteral("centerY")).toInt(), frameField(m_bytes, i, 16));
        }
        // Frame (1, 1) is 4 x 3 from an 8 x 6 source trimmed at (1, 1): centre (3, 2).
        QCOMPARE(frames.at(3).toObject().value(QStringLiteral("centerX")).toInt(), 3);
        QCOMPARE(frames.at(3).toObject().value(QStringLiteral("centerY")).toInt(), 2);
    }

    void infoText()
    {
        const Run cli = run({QStringLiteral("info"), m_art});
        QCOMPARE(cli.exitCode, 0);
        const QStringList lines = cli.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("file:                 %1 (%2 bytes)").arg(m_art).arg(m_bytes.size()));
        QCOMPARE(lines.value(1), QStringLiteral("type:                 rotatable (staticFlag 0)"));
        QCOMPARE(lines.value(2), QStringLiteral("rate:                 5"));
        QCOMPARE(lines.value(3), QStringLiteral("directions:           8"));
        QCOMPARE(lines.value(4), QStringLiteral("frames per direction: 2"));
        QCOMPARE(lines.value(5), QStringLiteral("action frame:         1"));
        QCOMPARE(lines.value(6), QStringLiteral("palettes:             2 (signature \"KESTRIN-\")"));
        QCOMPARE(lines.value(8), QStringLiteral("frames:               16 (230 pixels)"));
        QCOMPARE(lines.value(9), QStringLiteral("direction  frame  width  height  centerX  centerY"));
        QCOMPARE(lines.value(13), QStringLiteral("        1      1      4       3        3        2"));
        QCOMPARE(lines.value(25), QStringLiteral("        7      1      0       0        0        0"));
    }

    void extractedFramesShowThePaletteColours_data()
    {
        QTest::addColumn<bool>("transparentZero");
        QTest::newRow("opaque") << false;
        QTest::newRow("--transparent-zero") << true;
    }

    void extractedFramesShowThePaletteColours()
    {
        QFETCH(bool, transparentZero);
        const QString out = m_dir.filePath(transparentZero ? QStringLiteral("t") : QStringLiteral("o"));
        QStringList args{QStringLiteral("extract"), m_art, out};
        if (transparentZero)
            args << QStringLiteral("--transparent-zero");
        const Run cli = run(args);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QVERIFY2(cli.out.contains(QStringLiteral("frame 15 has no pixels, no file written")), qPrintable(cli.out));
        QVERIFY(cli.out.contains(QStringLiteral("15 of 16 frames written to %1").arg(out)));
        QVERIFY(!QFile::exists(out + QStringLiteral("/camera08_0001.png")));
        bool sawZero = false;
        const auto *data = reinterpret_cast<const uchar *>(m_bytes.constData());
        for (int i = 0; i < kFrames - 1; ++i) {
            const QString name = QStringLiteral("%1/camera%2_%3.png")
                                     .arg(out)
                                     .arg(i / 2 + 1, 2, 10, QLatin1Char('0'))
                                     .arg(i % 2, 4, 10, QLatin1Char('0'));
            const QImage image(name);
            QVERIFY2(!image.isNull(), qPrintable(name));
            const int width = frameField(m_bytes, i, 0);
            QCOMPARE(image.size(), QSize(width, frameField(m_bytes, i, 4)));
            const qint64 at = dataOffset(m_bytes, i);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < width; ++x) {
                    const uchar index = data[at + y * width + x];
                    sawZero = sawZero || index == 0;
                    const QRgb want = transparentZero && index == 0 ? 0 : paletteColor(m_bytes, index);
                    QCOMPARE(image.pixel(x, y), want);
                }
            }
        }
        QVERIFY(sawZero); // the first pixel's entry is always 0
    }

    void sheetAlignsFramesOnTheirCentres()
    {
        const QString out = m_dir.filePath(QStringLiteral("sheet"));
        const Run cli = run({QStringLiteral("extract"), m_art, out, QStringLiteral("--sheet")});
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        // Frame (d, f) is w x h cut at (d, f) from a 2w x 2h source, so its
        // centre is (w - d, h - f) = (3, 2) for every frame: all frames start
        // at the top-left of their cells, which are 10 x 3, the largest frame.
        const QImage sheet(out + QStringLiteral("/walk.png"));
        QCOMPARE(sheet.size(), QSize(2 * 10, 8 * 3));
        const auto *data = reinterpret_cast<const uchar *>(m_bytes.constData());
        for (int i = 0; i < kFrames - 1; ++i) {
            const int d = i / 2, f = i % 2;
            const qint64 at = dataOffset(m_bytes, i);
            const int width = frameField(m_bytes, i, 0), height = frameField(m_bytes, i, 4);
            QCOMPARE(sheet.pixel(f * 10 + width - 1, d * 3 + height - 1),
                     paletteColor(m_bytes, data[at + qint64(width) * height - 1]));
        }
        QCOMPARE(qAlpha(sheet.pixel(19, 23)), 0); // the empty frame's cell
        QVERIFY(cli.out.contains(QStringLiteral("walk.png (20 x 24, 8 row(s) of 2 frames)")));
    }

    void sheetTooLargeIsRefused()
    {
        // Centres far apart would need a sheet billions of pixels wide: refused
        // before anything is allocated, and no file is written.
        QByteArray bytes = m_bytes;
        qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), bytes.data() + kHeaders + 12);
        const QString file = m_dir.filePath(QStringLiteral("far.art"));
        QVERIFY(writeAll(file, bytes));
        const QString out = m_dir.filePath(QStringLiteral("far"));
        const Run cli = run({QStringLiteral("extract"), file, out, QStringLiteral("--sheet")});
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.contains(QStringLiteral("is more than kestrin-art draws; extract the frames without --sheet "
                                                 "(a sheet holds at most 268435456 pixels, and 32767 pixels per side)")),
                 qPrintable(cli.err));
        QVERIFY(QDir(out).isEmpty());
        QCOMPARE(run({QStringLiteral("extract"), file, out}).exitCode, 0); // the frames themselves are fine
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<QString>("message");
        QByteArray sevenDirections = readAll(m_art);
        sevenDirections[8] = 7;
        QTest::newRow("info, missing file") << QStringLiteral("info") << QByteArray()
                                            << QStringLiteral("No such file or directory");
        QTest::newRow("info, 7 directions") << QStringLiteral("info") << sevenDirections
                                            << QStringLiteral("direction count is 7, must be 8");
        QTest::newRow("extract, cut file") << QStringLiteral("extract") << readAll(m_art).left(100)
                                           << QStringLiteral("file too short for the header: 100 bytes");
        QTest::newRow("extract, extra byte")
            << QStringLiteral("extract") << readAll(m_art) + "x"
            << QStringLiteral("1 extra byte(s) after the index data of the last frame");
    }

    void badFiles()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString file = m_dir.filePath(QStringLiteral("bad.art"));
        QFile::remove(file);
        if (!bytes.isEmpty())
            QVERIFY(writeAll(file, bytes));
        const QString out = m_dir.filePath(QStringLiteral("bad-out"));
        const QStringList args = command == QLatin1String("info") ? QStringList{command, file}
                                                                   : QStringList{command, file, out};
        const Run cli = run(args);
        QCOMPARE(cli.exitCode, 1);
        const QString expected = QStringLiteral("kestrin-art: %1: %2").arg(file, message);
        QVERIFY2(cli.err.startsWith(expected), qPrintable(cli.err));
        QVERIFY(cli.out.isEmpty());
        QVERIFY(!QFile::exists(out));
    }

    void extractIntoAFileFails()
    {
        const Run cli = run({QStringLiteral("extract"), m_art, m_art + QStringLiteral("/frames")});
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1/frames: cannot create the folder").arg(m_art)),
                 qPrintable(cli.err));
    }
};

KESTRIN_TEST(InfoExtractTest)
#include "tst_infoextract.moc"
