// kestrin-art build: the same bytes as the window, every option reaching its
// field, and the exit statuses and messages of bad input.
#include "app/inspector.h"
#include "artfile/artreader.h"
#include "clifixtures.h"
#include "testmain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <array>
#include <optional>

using namespace clifixture;

namespace {

/** One set of window fields, and the kestrin-art options that mean the same. */
struct Settings {
    QString folderSuffix;       // appended to the folder for the command line
    QStringList fields;         // pattern, stage min/max/width, frame min/max/width as typed
    bool rotatable = false;
    int frameRate = 0;
    int hitFrame = 0;
    int palettes = 4;
    bool trim = false;
    std::optional<std::array<int, 3>> key; // window only: the file does not depend on alpha

    QStringList options() const
    {
        static const char *const names[] = {"--pattern",   "--stage-min", "--stage-max", "--stage-width",
                                            "--frame-min", "--frame-max", "--frame-width"};
        QStringList args;
        for (int i = 0; i < fields.size(); ++i)
            args << QLatin1String(names[i]) << fields[i];
        args << QStringLiteral("--type") << (rotatable ? QStringLiteral("rotatable") : QStringLiteral("static"))
             << QStringLiteral("--frame-rate") << QString::number(frameRate) << QStringLiteral("--hit-frame")
             << QString::number(hitFrame) << QStringLiteral("--palettes") << QString::number(palettes);
        if (trim)
            args << QStringLiteral("--trim");
        return args;
    }
};

const QStringList kDefaultFields = {QStringLiteral("camera%1_%2.bmp"), QStringLiteral("1"), QStringLiteral("99"),
                                    QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("9999"),
                                    QStringLiteral("4")};

/** Drives the window like a user: folder fields, Load, Utils Apply, the
 *  generation settings; then its Start run into `target`. */
bool windowGenerates(const QString &folderWithSlash, const Settings &s, const QString &target)
{
    MainWindow w;
    MainWindowForm &f = MainWindowInspector::form(w);
    f.leSourceFolder->setText(folderWithSlash);
    QLineEdit *edits[] = {f.leBrowseFormat, f.leStageMin, f.leStageMax, f.leStageWidth,
                          f.leFrameMin,     f.leFrameMax, f.leFrameWidth};
    const QStringList fields = s.fields.isEmpty() ? kDefaultFields : s.fields;
    for (int i = 0; i < 7; ++i)
        edits[i]->setText(fields[i]);
    QTest::mouseClick(f.pbStageLoad, Qt::LeftButton);
    if (s.trim || s.key) {
        f.cbBoundRect->setChecked(s.trim);
        f.cbApplyAlpha->setChecked(s.key.has_value());
        if (s.key) {
            f.leRed->setText(QString::number((*s.key)[0]));
            f.leGreen->setText(QString::number((*s.key)[1]));
            f.leBlue->setText(QString::number((*s.key)[2]));
        }
        QTest::mouseClick(f.pbUtilsApply, Qt::LeftButton);
    }
    (s.rotatable ? f.rbRotatable : f.rbStatic)->setChecked(true);
    f.sbFrameRate->setValue(s.frameRate);
    f.sbHitFrame->setValue(s.hitFrame);
    f.sbPaletteCount->setValue(s.palettes);
    return MainWindowInspector::generateArt(w, target);
}

bool parse(const QByteArray &bytes, kestrin::ArtFile &art)
{
    QString error;
    const bool ok = fixture::succeeded(kestrin::parseArt(bytes, art), error);
    if (!ok)
        qWarning() << error;
    return ok;
}

} // namespace

Q_DECLARE_METATYPE(Settings)

class BuildTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_frames; // 8 stages (numbers 1..8) of 3 BMP frames, default pattern
    QString m_pngs;   // PNG stages 4..9 of 7 frames, pattern "walk-%1-%2.png"
    QString m_mixed;  // stages 1..8 of 2 frames, each stage in its own format, pattern "mix%1_%2.img"

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_frames = path(QStringLiteral("frames"));
        m_pngs = path(QStringLiteral("pngs"));
        QVERIFY(writeFrames(m_frames, QStringLiteral("camera%1_%2.bmp"), {1, 2, 3, 4, 5, 6, 7, 8},
                            [](int) { return 3; }));
        QVERIFY(writeFrames(m_pngs, QStringLiteral("walk-%1-%2.png"), {4, 5, 6, 7, 8, 9}, [](int) { return 7; }));
        // kestrin-art's build program decodes PNG, JPEG, GIF and WebP itself
        // and hands the other formats to the full program's readers; the
        // content decides, whatever the name.
        m_mixed = path(QStringLiteral("mixed"));
        QVERIFY(QDir().mkpath(m_mixed));
        const char *formats[] = {"png", "jpg", "webp", "tif", "bmp", "ppm", "gif", "psd"};
        const QString corpus = QDir::cleanPath(QStringLiteral(KESTRIN_TEST_DATA "/../fuzz/decode-corpus")) + QLatin1Char('/');
        // Formats Qt does not write, from the decoder's fuzzing corpus (whose
        // files start with one byte for the fuzzer).
        const QString copies[] = {QStringLiteral("valid-letter.gif"), QStringLiteral("valid-raw.psd")};
        for (int s = 1; s <= 8; ++s) {
            for (int f = 0; f < 2; ++f) {
                const QString name = m_mixed + QStringLiteral("/mix%1_%2.img").arg(s).arg(f, 4, 10, QLatin1Char('0'));
                QVERIFY2(s <= 6 ? frame(s, f).save(name, formats[s - 1])
                                : fixture::writeAll(name, fixture::readAll(corpus + copies[s - 7]).mid(1)),
                         formats[s - 1]);
            }
        }
    }

    void sameBytesAsTheWindow_data()
    {
        QTest::addColumn<int>("folder"); // 0: BMP frames, 1: PNG frames, 2: one format a stage
        QTest::addColumn<Settings>("settings");
        Settings s;
        QTest::newRow("defaults") << 0 << s;
        s.folderSuffix = QStringLiteral("/");
        QTest::newRow("folder given with its slash") << 0 << s;
        s = Settings();
        s.rotatable = true;
        s.frameRate = 12;
        s.hitFrame = 3;
        s.palettes = 2;
        QTest::newRow("rotatable, rate, hit frame, 2 palettes") << 0 << s;
        s = Settings();
        s.palettes = 1;
        s.trim = true;
        QTest::newRow("trim, 1 palette") << 0 << s;
        s.key = std::array<int, 3>{170, 170, 127};
        QTest::newRow("trim; the window also keys the background") << 0 << s;
        s.trim = false;
        QTest::newRow("no trim; the window keys the background") << 0 << s;
        s = Settings();
        s.fields = QStringList{QStringLiteral("walk-%1-%2.png"), QStringLiteral("5"), QStringLiteral("8"),
                               QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("6"), QStringLiteral("4")};
        s.trim = true;
        s.palettes = 3;
        QTest::newRow("png pattern and ranges") << 1 << s;
        s = Settings();
        s.fields = QStringList{QStringLiteral("camera%1_%2.bmp"), QStringLiteral("1"), QStringLiteral("-1"),
                               QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("4")};
        QTest::newRow("-1 bounds mean every number") << 0 << s;
        s = Settings();
        s.fields = QStringList{QStringLiteral("mix%1_%2.img"), QStringLiteral("1"), QStringLiteral("8"),
                               QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("4")};
        s.palettes = 1;
        QTest::newRow("PNG, JPEG, WebP, TIFF, BMP, PPM, GIF and PSD frames") << 2 << s;
    }

    void sameBytesAsTheWindow()
    {
        QFETCH(int, folder);
        QFETCH(Settings, settings);
        const QString frames = folder == 0 ? m_frames : folder == 1 ? m_pngs : m_mixed;
        const QString cliTarget = path(QStringLiteral("cli.art"));
        const QString windowTarget = path(QStringLiteral("window.art"));
        QFile::remove(cliTarget);
        QFile::remove(windowTarget);

        const Run cli = run(QStringList{QStringLiteral("build"), frames + settings.folderSuffix,
                                        QStringLiteral("-o"), cliTarget}
                            + settings.options());
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QVERIFY(windowGenerates(frames + QLatin1Char('/'), settings, windowTarget));

        const QByteArray fromCli = readAll(cliTarget);
        QVERIFY(fromCli.size() > int(kestrin::art::kHeaderSize));
        QCOMPARE(fromCli, readAll(windowTarget));
    }

    /** Each option changes the field it names, checked in the file. The
     *  fixture frame of stage s, frame f is (4 + s) x (3 + f). */
    void optionsReachTheirFields_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<quint32>("staticFlag");
        QTest::addColumn<qint32>("rate");
        QTest::addColumn<qint32>("actionFrame");
        QTest::addColumn<quint32>("framesPerDirection");
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<QString>("sizes"); // "w x h" of every frame, in file order

        const QString all = QStringLiteral("5x3 5x4 5x5 6x3 6x4 6x5 7x3 7x4 7x5 8x3 8x4 8x5 "
                                           "9x3 9x4 9x5 10x3 10x4 10x5 11x3 11x4 11x5 12x3 12x4 12x5");
        QTest::newRow("defaults") << QStringList() << 1u << 8 << 2 << 24u << 4u << all;
        QTest::newRow("--type rotatable") << QStringList{QStringLiteral("--type"), QStringLiteral("rotatable")} << 0u
                                          << 8 << 2 << 3u << 4u << all;
        QTest::newRow("--frame-rate") << QStringList{QStringLiteral("--frame-rate"), QStringLiteral("25")} << 1u
                                      << 25 << 2 << 24u << 4u << all;
        QTest::newRow("--hit-frame") << QStringList{QStringLiteral("--hit-frame"), QStringLiteral("7")} << 1u << 8
                                     << 7 << 24u << 4u << all;
        QTest::newRow("--palettes") << QStringList{QStringLiteral("--palettes"), QStringLiteral("1")} << 1u << 8 << 2
                                    << 24u << 1u << all;
        QTest::newRow("--stage-min, --stage-max")
            << QStringList{QStringLiteral("--stage-min"), QStringLiteral("3"), QStringLiteral("--stage-max"),
                           QStringLiteral("5")}
            << 1u << 8 << 2 << 6u << 4u << QStringLiteral("7x3 7x4 7x5 8x3 8x4 8x5");
        QTest::newRow("--frame-min, --frame-max")
            << QStringList{QStringLiteral("--frame-min"), QStringLiteral("1"), QStringLiteral("--frame-max"),
                           QStringLiteral("2"), QStringLiteral("--stage-max"), QStringLiteral("3")}
            << 1u << 8 << 0 << 2u << 4u << QStringLiteral("5x4 6x4");
        QTest::newRow("--pattern, --stage-width, --frame-width")
            << QStringList{QStringLiteral("--pattern"), QStringLiteral("walk-%1-%2.png"),
                           QStringLiteral("--stage-width"), QStringLiteral("2"), QStringLiteral("--frame-width"),
                           QStringLiteral("4"), QStringLiteral("--stage-min"), QStringLiteral("9"),
                           QStringLiteral("--frame-max"), QStringLiteral("2")}
            << 1u << 8 << 1 << 2u << 4u << QStringLiteral("13x3 13x4");
        QTest::newRow("--trim") << QStringList{QStringLiteral("--trim"), QStringLiteral("--stage-max"),
                                               QStringLiteral("2")}
                                << 1u << 8 << 2 << 3u << 4u << QStringLiteral("4x2 4x3 4x4");
    }

    void optionsReachTheirFields()
    {
        QFETCH(QStringList, options);
        const QString target = path(QStringLiteral("options.art"));
        const bool png = options.contains(QStringLiteral("walk-%1-%2.png"));
        const Run cli = run(QStringList{QStringLiteral("build"), png ? m_pngs : m_frames, QStringLiteral("-o"),
                                        target, QStringLiteral("--quiet")}
                            + options);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QVERIFY(cli.out.isEmpty()); // --quiet
        kestrin::ArtFile art;
        QVERIFY(parse(readAll(target), art));
        QTEST(art.staticFlag, "staticFlag");
        QTEST(art.rate, "rate");
        QTEST(art.hitFrame, "actionFrame");
        QTEST(art.framesPerDirection, "framesPerDirection");
        QTEST(art.paletteCount, "paletteCount");
        QStringList sizes;
        for (const kestrin::ArtFrame &f : art.frames)
            sizes << QStringLiteral("%1x%2").arg(f.width).arg(f.height);
        QTEST(sizes.join(QLatin1Char(' ')), "sizes");
    }

    void trimMovesTheCentres()
    {
        // Stage 1, frame 0 is 5 x 3; its content starts at column 1 (the stray
        // pixel) and row 1, so the centre moves from (2, 1) to (1, 0).
        const QString target = path(QStringLiteral("trim.art"));
        QCOMPARE(run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), target, QStringLiteral("--trim"),
                      QStringLiteral("--stage-max"), QStringLiteral("2"), QStringLiteral("--frame-max"),
                      QStringLiteral("1")})
                     .exitCode,
                 0);
        kestrin::ArtFile art;
        QVERIFY(parse(readAll(target), art));
        QCOMPARE(art.frames.size(), size_t(1));
        QCOMPARE(art.frames[0].centerX, 1);
        QCOMPARE(art.frames[0].centerY, 0);
    }

    void reportsWhatItFound()
    {
        const QString target = path(QStringLiteral("found.art"));
        const Run cli = run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), target});
        QCOMPARE(cli.exitCode, 0);
        QVERIFY2(cli.out.contains(QStringLiteral("8 stage(s) of 3 frame(s)")), qPrintable(cli.out));
        QVERIFY2(cli.out.contains(QStringLiteral("24 frames, 816 pixels")), qPrintable(cli.out));
        QVERIFY2(cli.out.contains(QStringLiteral("Wrote %1 (%2 bytes)").arg(target).arg(readAll(target).size())),
                 qPrintable(cli.out));
        QVERIFY(cli.err.isEmpty()); // no progress bar when standard error is not a terminal
    }

    void buildsWithoutADisplay()
    {
        const QString target = path(QStringLiteral("headless.art"));
        const Run cli = run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), target, QStringLiteral("-q")},
                            false);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QVERIFY(cli.err.isEmpty());
        QCOMPARE(readAll(target).size(), int(132 + 4 * 1024 + 24 * 28 + 816));
    }

    void failedJobs_data()
    {
        QTest::addColumn<QString>("folder"); // relative to the test folder
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message"); // expected on standard error with {folder} and {target}

        QTest::newRow("missing folder") << QStringLiteral("no-such-folder") << QStringList()
                                        << QStringLiteral("kestrin-art: {folder}: no such folder");
        QTest::newRow("folder is a file") << QStringLiteral("frames/camera01_0000.bmp") << QStringList()
                                          << QStringLiteral("kestrin-art: {folder}: not a folder");
        QTest::newRow("no stages") << QStringLiteral("empty") << QStringList()
                                   << QStringLiteral("kestrin-art: {folder}/: No stages found: no stage number "
                                                     "from 1 up to 99 (exclusive) has a file for frame number 0; "
                                                     "the first name tried was camera01_0000.bmp\n");
        QTest::newRow("rotatable without 8 stages")
            << QStringLiteral("frames") << QStringList{QStringLiteral("--type"), QStringLiteral("rotatable"),
                                                       QStringLiteral("--stage-max"), QStringLiteral("8")}
            << QStringLiteral("kestrin-art: {folder}/: Number of stages must be 8 for rotatable Art; there are 7\n"
                              "kestrin-art: {target}: Generation failed!");
        QTest::newRow("frame counts differ")
            << QStringLiteral("uneven") << QStringList()
            << QStringLiteral("kestrin-art: {folder}/: Number of frames differ in stage 2: expected 4 frames, found 3\n"
                              "kestrin-art: {target}: Generation failed!");
        // Left-aligned in two digits, stage numbers 1 and 10 both read "10".
        QTest::newRow("two frames, one file")
            << QStringLiteral("repeats")
            << QStringList{QStringLiteral("--stage-width"), QStringLiteral("-2"), QStringLiteral("--stage-max"),
                           QStringLiteral("11")}
            << QStringLiteral("kestrin-art: {folder}/camera10_0000.bmp: The file-name pattern gives the same name "
                              "to two frames");
        QTest::newRow("frame that is not an image")
            << QStringLiteral("corrupt") << QStringList()
            << QStringLiteral("kestrin-art: {folder}/camera01_0001.bmp: Cannot load frame: not an image");
    }

    void failedJobs()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        QVERIFY(QDir().mkpath(path(QStringLiteral("empty"))));
        QVERIFY(writeFrames(path(QStringLiteral("uneven")), QStringLiteral("camera%1_%2.bmp"), {1, 2, 3},
                            [](int s) { return s == 3 ? 3 : 4; }));
        QVERIFY(writeFrames(path(QStringLiteral("corrupt")), QStringLiteral("camera%1_%2.bmp"), {1},
                            [](int) { return 3; }));
        QVERIFY(writeAll(path(QStringLiteral("corrupt/camera01_0001.bmp")), "not an image"));
        QVERIFY(writeFrames(path(QStringLiteral("repeats")), QStringLiteral("camera%1_%2.bmp"), {10},
                            [](int) { return 1; }));

        // An existing target survives every failure byte for byte.
        const QString target = path(QStringLiteral("existing.art"));
        const QByteArray before("the user's earlier file");
        QVERIFY(writeAll(target, before));
        const QString folderPath = path(folder);
        const Run cli =
            run(QStringList{QStringLiteral("build"), folderPath, QStringLiteral("-o"), target} + options);
        QCOMPARE(cli.exitCode, 1);
        const QString expected = QString(message)
                                     .replace(QLatin1String("{folder}"), folderPath)
                                     .replace(QLatin1String("{target}"), target);
        QVERIFY2(cli.err.startsWith(expected), qPrintable(cli.err + QStringLiteral("\n-- expected --\n") + expected));
        QCOMPARE(readAll(target), before);
    }

    void unwritableTarget()
    {
        // A target inside a path whose "folder" is a regular file cannot be
        // created, whoever runs the test.
        const QString target = m_frames + QStringLiteral("/camera01_0000.bmp/out.art");
        const Run cli = run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), target});
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1: cannot create the file: Not a directory\n"
                                                   "kestrin-art: %1: Generation failed!")
                                        .arg(target)),
                 qPrintable(cli.err));
    }

    // %2 alone is one stage of numbered frames, the render output most tools
    // write; it builds what the two-marker spelling of the same files builds.
    void oneNumberedSequence()
    {
        const QString folder = path(QStringLiteral("sequence"));
        QVERIFY(QDir().mkpath(folder));
        for (int f = 1; f <= 3; ++f)
            QVERIFY(frame(1, f).save(folder + QStringLiteral("/walk_%1.png").arg(f, 4, 10, QLatin1Char('0'))));
        const QString single = path(QStringLiteral("sequence-single.art"));
        const QString both = path(QStringLiteral("sequence-both.art"));
        QCOMPARE(run({QStringLiteral("build"), folder, QStringLiteral("-o"), single, QStringLiteral("-q"),
                      QStringLiteral("--pattern"), QStringLiteral("walk_%2.png")})
                     .exitCode,
                 0);
        QCOMPARE(run({QStringLiteral("build"), folder, QStringLiteral("-o"), both, QStringLiteral("-q"),
                      QStringLiteral("--pattern"), QStringLiteral("walk_%1%2.png"), QStringLiteral("--stage-min"),
                      QStringLiteral("0"), QStringLiteral("--stage-max"), QStringLiteral("1"),
                      QStringLiteral("--stage-width"), QStringLiteral("1"), QStringLiteral("--frame-width"),
                      QStringLiteral("3"), QStringLiteral("--frame-min"), QStringLiteral("1")})
                     .exitCode,
                 0);
        const QByteArray bytes = readAll(single);
        QCOMPARE(field(bytes, kestrin::art::kFramesPerDirectionOffset), 3);
        QCOMPARE(bytes, readAll(both));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString folder = QStringLiteral("frames");
        const QStringList build{QStringLiteral("build"), folder, QStringLiteral("-o"), QStringLiteral("x.art")};
        QTest::newRow("no command") << QStringList() << QStringLiteral("no command given");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("make")}
                                         << QStringLiteral("unknown command \"make\"");
        QTest::newRow("missing -o") << QStringList{QStringLiteral("build"), folder}
                                    << QStringLiteral("--output: the target file is missing");
        QTest::newRow("two folders") << build + QStringList{QStringLiteral("more")}
                                     << QStringLiteral("kestrin-art: build needs one FOLDER, got 2 argument(s)\n");
        QTest::newRow("unknown option") << build + QStringList{QStringLiteral("--colours")}
                                        << QStringLiteral("Unknown option 'colours'");
        QTest::newRow("palettes 5") << build + QStringList{QStringLiteral("--palettes"), QStringLiteral("5")}
                                    << QStringLiteral("--palettes: \"5\" is not a whole number from 1 to 4");
        QTest::newRow("palettes 0") << build + QStringList{QStringLiteral("--palettes"), QStringLiteral("0")}
                                    << QStringLiteral("--palettes: \"0\" is not a whole number from 1 to 4");
        QTest::newRow("frame rate 100") << build + QStringList{QStringLiteral("--frame-rate"), QStringLiteral("100")}
                                        << QStringLiteral("--frame-rate: \"100\" is not a whole number from 0 to 99");
        QTest::newRow("hit frame text") << build + QStringList{QStringLiteral("--hit-frame"), QStringLiteral("two")}
                                        << QStringLiteral("--hit-frame: \"two\" is not a whole number");
        QTest::newRow("stage max below 32 bits")
            << build + QStringList{QStringLiteral("--stage-max"), QStringLiteral("-2147483649")}
            << QStringLiteral("--stage-max: \"-2147483649\" is not a whole number from -2147483648 to 4294967295");
        QTest::newRow("pattern without %2")
            << build + QStringList{QStringLiteral("--pattern"), QStringLiteral("camera01_0000.bmp")}
            << QStringLiteral("--pattern: \"camera01_0000.bmp\": The file-name pattern has no %2 for the frame "
                              "number: write %2 where the frame number goes (walk_%2.png for one numbered sequence)");
        QTest::newRow("pattern with %1 only") << build + QStringList{QStringLiteral("--pattern"), QStringLiteral("c%1.png")}
                                              << QStringLiteral("--pattern: \"c%1.png\": The file-name pattern has no %2");
        QTest::newRow("type") << build + QStringList{QStringLiteral("--type"), QStringLiteral("diagonal")}
                              << QStringLiteral("--type: \"diagonal\" is not one of: static, rotatable");
        QTest::newRow("empty output") << QStringList{QStringLiteral("build"), folder, QStringLiteral("-o"), QString()}
                                      << QStringLiteral("--output: the target file name is empty");
        QTest::newRow("info without file") << QStringList{QStringLiteral("info")}
                                           << QStringLiteral("needs one FILE.art, got 0");
        QTest::newRow("extract without folder") << QStringList{QStringLiteral("extract"), QStringLiteral("a.art")}
                                                << QStringLiteral("needs FILE.art and OUTDIR, got 1");
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run cli = run(arguments);
        QCOMPARE(cli.exitCode, 2);
        QVERIFY2(cli.err.contains(message), qPrintable(cli.err));
        for (const QString &line : cli.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            QVERIFY2(line.startsWith(QStringLiteral("kestrin-art: ")), qPrintable(cli.err));
        QVERIFY(cli.out.isEmpty());
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("--version") << QStringList{QStringLiteral("--version")}
                                   << QStringLiteral("kestrin-art " KESTRIN_VERSION "\n");
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")}
                                << QStringLiteral("build FOLDER -o OUT.art");
        QTest::newRow("build --help") << QStringList{QStringLiteral("build"), QStringLiteral("--help")}
                                      << QStringLiteral("Usage: kestrin-art build [options] FOLDER");
        QTest::newRow("build --help names the markers")
            << QStringList{QStringLiteral("build"), QStringLiteral("--help")}
            << QStringLiteral("File-name pattern, %1 = stage, %2 = frame");
        QTest::newRow("info --help") << QStringList{QStringLiteral("info"), QStringLiteral("-h")}
                                     << QStringLiteral("--json");
        QTest::newRow("extract --help") << QStringList{QStringLiteral("extract"), QStringLiteral("--help")}
                                        << QStringLiteral("--transparent-zero");
        // Listed by every command's help: help, never the job.
        QTest::newRow("build --help-all")
            << QStringList{QStringLiteral("build"), m_frames, QStringLiteral("-o"), path(QStringLiteral("hx.art")),
                           QStringLiteral("--help-all")}
            << QStringLiteral("Usage: kestrin-art build [options] FOLDER");
        QTest::newRow("build --version") << QStringList{QStringLiteral("build"), QStringLiteral("--version")}
                                         << QStringLiteral("kestrin-art " KESTRIN_VERSION "\n");
    }

    void helpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const Run cli = run(arguments);
        QCOMPARE(cli.exitCode, 0);
        QVERIFY2(cli.out.contains(expected), qPrintable(cli.out));
        QVERIFY(cli.err.isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("hx.art"))));
    }

    // The executable answers the version alone by itself and loads its
    // program for everything else: copied away from the program, it still
    // gives the version and names what is missing for any other command.
    void executableWithoutItsProgram()
    {
        const QString alone = path(QStringLiteral("alone/kestrin-art"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("alone"))));
        QVERIFY(QFile::copy(QStringLiteral(KESTRIN_ART), alone));
        QProcess version;
        version.start(alone, {QStringLiteral("--version")});
        const Run told = fixture::finish(version, 30000);
        QCOMPARE(told.exitCode, 0);
        QCOMPARE(told.out, QStringLiteral("kestrin-art " KESTRIN_VERSION "\n"));
        QProcess help;
        help.start(alone, {QStringLiteral("--help")});
        const Run missing = fixture::finish(help, 30000);
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.out.isEmpty());
        QVERIFY2(missing.err.startsWith(QStringLiteral("kestrin-art: the program libkestrin-art.so is missing from "))
                     && missing.err.count(QLatin1Char('\n')) == 1,
                 qPrintable(missing.err));
    }
};

KESTRIN_TEST(BuildTest)
#include "tst_build.moc"
