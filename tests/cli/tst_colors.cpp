// kestrin-art build's colour options end to end: their usage errors, a
// broken palette file, the partial-alpha warning, background trimming, and
// the same file on any number of threads.
#include "artfile/artreader.h"
#include "clifixtures.h"
#include "testmain.h"

#include "quantize/backgroundrule.h"

#include <QTemporaryDir>
#include <QTest>

using namespace clifixture;

class ColorsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_frames; // 2 stages of 2 soft-alpha PNG sprites, pattern "s%1_%2.png"

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QStringList build(const QString &target) const
    {
        return {QStringLiteral("build"), m_frames, QStringLiteral("--pattern"), QStringLiteral("s%1_%2.png"),
                QStringLiteral("-o"), target, QStringLiteral("-q")};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_frames = path(QStringLiteral("sprites"));
        for (int s = 1; s <= 2; ++s) {
            for (int f = 0; f < 2; ++f) {
                const QString name =
                    QStringLiteral("/s%1_%2.png").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
                QVERIFY(fixture::writeImage(m_frames + name, fixture::spriteFrame(24, 18, s * 2 + f)));
            }
        }
        QVERIFY(writeAll(path(QStringLiteral("ok.gpl")), "GIMP Palette\n0 0 0\n255 255 255\n128 64 32\n"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const QStringList &options, const char *message) {
            QTest::newRow(name) << options << QString::fromUtf8(message);
        };
        row("threads 0", {"--threads", "0"}, "--threads: \"0\" is not a whole number from 1 to 1024");
        row("colors 1", {"--colors", "1"}, "--colors: \"1\" is not a whole number from 2 to 256");
        row("colors 257", {"--colors", "257"}, "--colors: \"257\" is not a whole number from 2 to 256");
        row("key of two values", {"--key", "1,2"}, "--key: \"1,2\" is not R,G,B");
        row("key value 300", {"--key", "1,2,300"}, "--key: \"1,2,300\" is not R,G,B");
        row("tolerance 443", {"--key", "0,0,0", "--key-tolerance", "443"},
            "--key-tolerance: \"443\" is not a whole number from 0 to 442");
        row("tolerance without key", {"--key-tolerance", "5"}, "--key-tolerance: needs --key");
        row("alpha threshold 0", {"--alpha-threshold", "0"},
            "--alpha-threshold: \"0\" is not a whole number from 1 to 255");
        row("alpha threshold 256", {"--alpha-threshold", "256"},
            "--alpha-threshold: \"256\" is not a whole number from 1 to 255");
        row("quantizer", {"--quantizer", "median"}, "--quantizer: \"median\" is not one of: octree, refined");
        row("dither", {"--dither", "random"}, "--dither: \"random\" is not one of: none, ordered, floyd-steinberg");
        row("palette and colors", {"--palette", "ok.gpl", "--colors", "16"},
            "--palette: cannot be combined with --colors");
        row("palette and quantizer", {"--palette", "ok.gpl", "--quantizer", "octree"},
            "--palette: cannot be combined with --quantizer");
        row("empty palette name", {"--palette", ""}, "--palette: the palette file name is empty");
    }
    void usageErrors()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        const Run cli = run(build(path(QStringLiteral("usage.art"))) + options);
        QCOMPARE(cli.exitCode, 2);
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: ") + message), qPrintable(cli.err));
        QVERIFY(!QFile::exists(path(QStringLiteral("usage.art"))));
    }

    // A palette file that cannot be used fails the job, names the file and
    // where it is wrong, and leaves the target alone.
    void brokenPaletteFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad line") << "bad.gpl" << QByteArray("GIMP Palette\n1 2 3\n4 five 6\n")
                                  << "bad.gpl: line 3: \"five\" is not a colour value from 0 to 255";
        QTest::newRow("short colour table") << "short.act" << QByteArray(700, '\0')
                                            << "short.act: byte 700: a colour table is 768 or 772 bytes long";
        QTest::newRow("unknown format") << "colours.json" << QByteArray("[]")
                                        << "colours.json: unknown palette format \"json\"";
    }
    void brokenPaletteFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QVERIFY(writeAll(path(name), bytes));
        const QString target = path(QStringLiteral("kept.art"));
        QVERIFY(writeAll(target, "earlier"));
        const Run cli = run(build(target) + QStringList{QStringLiteral("--palette"), path(name)});
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: ") + m_dir.path() + QLatin1Char('/') + message),
                 qPrintable(cli.err));
        QVERIFY2(cli.err.contains(QStringLiteral("Generation failed!")), qPrintable(cli.err));
        QCOMPARE(readAll(target), QByteArray("earlier"));
    }

    // Soft-alpha frames with an alpha threshold and a trim: one warning with
    // the counts, frames cut to their non-background pixels, and the same
    // bytes on one thread or three.
    void alphaThresholdEndToEnd()
    {
        const QStringList options{QStringLiteral("--alpha-threshold"), QStringLiteral("128"), QStringLiteral("--trim"),
                                  QStringLiteral("--quantizer"), QStringLiteral("refined"),
                                  QStringLiteral("--dither"), QStringLiteral("floyd-steinberg")};
        const QString one = path(QStringLiteral("one.art")), three = path(QStringLiteral("three.art"));
        const Run cli = run(build(one) + options + QStringList{QStringLiteral("--threads"), QStringLiteral("1")});
        QCOMPARE(cli.exitCode, 0);
        // The edge pixels of alpha 140 and 180 are made opaque: in every frame.
        const QStringList lines = cli.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("kestrin-art: warning: "))
                     && lines[0].contains(QStringLiteral(" in 4 frame(s) were not fully opaque")),
                 qPrintable(cli.err));
        QCOMPARE(run(build(three) + options + QStringList{QStringLiteral("--threads"), QStringLiteral("3")}).exitCode,
                 0);
        QCOMPARE(readAll(one), readAll(three));

        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(readAll(one), art), error), qPrintable(error));
        kestrin::BackgroundRule rule;
        rule.alphaThreshold = 128;
        for (int i = 0; i < 4; ++i) {
            const QImage source = fixture::spriteFrame(24, 18, 2 + i);
            int left = 24, top = 18, right = 0, bottom = 0;
            for (int y = 0; y < 18; ++y) {
                for (int x = 0; x < 24; ++x) {
                    if (!rule.isBackground(source.pixel(x, y))) {
                        left = qMin(left, x), top = qMin(top, y);
                        right = qMax(right, x + 1), bottom = qMax(bottom, y + 1);
                    }
                }
            }
            const kestrin::ArtFrame &frame = art.frames[size_t(i)];
            QCOMPARE(frame.width, right - left);
            QCOMPARE(frame.height, bottom - top);
            QCOMPARE(frame.centerX, 12 - left);
        }
        QCOMPARE(art.color(0), qRgb(0, 0, 0));
    }

    // A fixed palette: its entries in its order, zero after them, and every
    // index one of them.
    void fixedPaletteIsWrittenAsItStands()
    {
        const QString target = path(QStringLiteral("fixed.art"));
        const Run cli = run(build(target) + QStringList{QStringLiteral("--palette"), path(QStringLiteral("ok.gpl")),
                                                        QStringLiteral("--dither"), QStringLiteral("floyd-steinberg")});
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QVERIFY(cli.err.isEmpty()); // no background: alpha is ignored, as by the window
        kestrin::ArtFile art;
        QString error;
        QVERIFY(fixture::succeeded(kestrin::parseArt(readAll(target), art), error));
        QCOMPARE(art.color(0), qRgb(0, 0, 0));
        QCOMPARE(art.color(1), qRgb(255, 255, 255));
        QCOMPARE(art.color(2), qRgb(128, 64, 32));
        QCOMPARE(art.colorCount(), 3);
        const QByteArray indices = art.bytes.mid(qsizetype(art.frames[0].dataOffset));
        for (char index : indices)
            QVERIFY(quint8(index) < 3);
    }
};

KESTRIN_TEST(ColorsTest)
#include "tst_colors.moc"
