// Project files on the command line: a project builds what the same options
// build, options on the line override it, and extract --indexed writes a
// project that builds the sprite back byte for byte.
#include "app/inspector.h"
#include "artfile/artreader.h"
#include "clifixtures.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace clifixture;

namespace {

QStringList args(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *item : list)
        result << QString::fromUtf8(item);
    return result;
}

/** [first, end) of frame `index`'s index bytes in `file`. */
std::pair<qint64, qint64> frameBytes(const QByteArray &file, int index)
{
    kestrin::ArtFile art;
    QString error;
    if (!fixture::succeeded(kestrin::parseArt(file, art), error))
        return {0, 0};
    const kestrin::ArtFrame &frame = art.frames[size_t(index)];
    return {frame.dataOffset, frame.dataOffset + frame.dataSize};
}

} // namespace

class ProjectsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_frames;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    /** The sprite a row starts from: the fixture's rotatable one, or a build
     *  of the frames with `options`. */
    bool makeSprite(const QString &target, const QStringList &options)
    {
        if (options.isEmpty())
            return writeRotatableSprite(target);
        return run(QStringList{QStringLiteral("build"), m_frames, QStringLiteral("-o"), target, QStringLiteral("-q"),
                               QStringLiteral("--pattern"), QStringLiteral("camera%1_%2.png")}
                   + options)
                   .exitCode
            == 0;
    }

private slots:
    void initTestCase()
    {
        m_frames = path(QStringLiteral("frames"));
        QVERIFY(writeFrames(m_frames, QStringLiteral("camera%1_%2.png"), {1, 2, 3}, [](int) { return 4; }));
        QVERIFY(writeAll(path(QStringLiteral("six.gpl")),
                         "GIMP Palette\n0 0 0\n170 170 127\n20 40 200\n40 100 80\n60 10 10\n255 255 255\n"));
    }

    // A project names the same settings as options; the file is the same,
    // and options on the line override the project's values.
    void projectBuildsWhatItsOptionsBuild_data()
    {
        QTest::addColumn<QByteArray>("project");
        QTest::addColumn<QStringList>("options"); // the same job as options
        QTest::addColumn<QStringList>("override");
        QTest::newRow("defaults") << QByteArray(R"({"version": 1, "folder": "frames", "pattern": "camera%1_%2.png"})")
                                  << args({"--pattern", "camera%1_%2.png"}) << QStringList();
        QTest::newRow("every setting")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "stageMin": 2, "stageMax": -1,
                             "frameMax": 3, "trim": true, "frameRate": 12, "hitFrame": 1, "palettes": 2,
                             "key": [170, 170, 127], "keyTolerance": 2, "colors": 16, "quantizer": "refined",
                             "dither": "floyd-steinberg"})")
            << args({"--pattern", "camera%1_%2.png", "--stage-min", "2", "--stage-max", "-1", "--frame-max", "3",
                     "--trim", "--frame-rate", "12", "--hit-frame", "1", "--palettes", "2", "--key", "170,170,127",
                     "--key-tolerance", "2", "--colors", "16", "--quantizer", "refined", "--dither",
                     "floyd-steinberg"})
            << QStringList();
        QTest::newRow("palette file") << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png",
                                                       "palette": "six.gpl", "alphaThreshold": 128})")
                                      << args({"--pattern", "camera%1_%2.png", "--palette", "six.gpl",
                                               "--alpha-threshold", "128"})
                                      << QStringList();
        QTest::newRow("line's palette replaces the budget")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "colors": 8, "quantizer": "refined"})")
            << args({"--pattern", "camera%1_%2.png", "--palette", "six.gpl"}) << args({"--palette", "six.gpl"});
        QTest::newRow("line's budget replaces the palette")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "palette": "six.gpl"})")
            << args({"--pattern", "camera%1_%2.png", "--colors", "8"}) << args({"--colors", "8"});
        QTest::newRow("overridden") << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png",
                                                     "frameRate": 12, "palettes": 2})")
                                    << args({"--pattern", "camera%1_%2.png", "--frame-rate", "3", "--palettes", "2",
                                             "--stage-max", "3"})
                                    << args({"--frame-rate", "3", "--stage-max", "3"});
    }

    void projectBuildsWhatItsOptionsBuild()
    {
        QFETCH(QByteArray, project);
        QFETCH(QStringList, options);
        QFETCH(QStringList, override);
        const QString projectPath = path(QStringLiteral("job.kestrin"));
        QVERIFY(writeAll(projectPath, project));
        const QString fromProject = path(QStringLiteral("project.art"));
        const QString fromOptions = path(QStringLiteral("options.art"));
        for (QStringList *list : {&options, &override}) {
            for (QString &option : *list) {
                if (option == QLatin1String("six.gpl"))
                    option = path(option);
            }
        }
        const Run a = run(QStringList{QStringLiteral("build"), projectPath, QStringLiteral("-o"), fromProject,
                                      QStringLiteral("-q")}
                          + override);
        QVERIFY2(a.exitCode == 0, qPrintable(a.err));
        const Run b = run(QStringList{QStringLiteral("build"), m_frames, QStringLiteral("-o"), fromOptions,
                                      QStringLiteral("-q")}
                          + options);
        QVERIFY2(b.exitCode == 0, qPrintable(b.err));
        QCOMPARE(readAll(fromProject), readAll(fromOptions));
    }

    // Opening a project in the window and pressing Start writes the bytes
    // that kestrin-art build writes for it.
    void windowStartEqualsBuild_data()
    {
        QTest::addColumn<QByteArray>("project");
        QTest::newRow("folder") << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png"})");
        QTest::newRow("trimmed, rotatable settings")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "stageMax": 3, "trim": true,
                             "frameRate": 7, "hitFrame": 2, "palettes": 1})");
        QTest::newRow("listed frames with centres")
            << QByteArray(R"({"stages": [[{"file": "frames/camera01_0000.png", "centre": [-4, 9]},
                                          {"file": "frames/camera02_0001.png"}, {"centre": [1, 1]}]],
                             "trim": true})");
        // Trimming follows the background rule in both: a pixel near the key
        // colour is background, and with an alpha threshold only alpha
        // decides (these frames are opaque: nothing is cut).
        QTest::newRow("trimmed by a key with a tolerance")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "trim": true,
                             "key": [170, 170, 127], "keyTolerance": 2})");
        QTest::newRow("trimmed with an alpha threshold")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "trim": true,
                             "alphaThreshold": 128})");
        QTest::newRow("colour options")
            << QByteArray(R"({"folder": "frames", "pattern": "camera%1_%2.png", "key": [255, 0, 255],
                             "keyTolerance": 20, "colors": 64, "quantizer": "refined", "dither": "ordered"})");
    }

    void windowStartEqualsBuild()
    {
        QFETCH(QByteArray, project);
        const QString projectPath = path(QStringLiteral("window.kestrin"));
        QVERIFY(writeAll(projectPath, project));
        const QString fromWindow = path(QStringLiteral("window.art"));
        const QString fromBuild = path(QStringLiteral("build.art"));
        {
            MainWindow w;
            QVERIFY(MainWindowInspector::openProject(w, projectPath));
            QVERIFY(MainWindowInspector::generateArt(w, fromWindow));
        }
        const Run cli = run({QStringLiteral("build"), projectPath, QStringLiteral("-o"), fromBuild, "-q"});
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QCOMPARE(readAll(fromWindow), readAll(fromBuild));
    }

    // A project that names its target needs no -o; a bad project is a failed
    // job naming the file and the key, with the JSON report when asked.
    void targetAndFailures()
    {
        const QString projectPath = path(QStringLiteral("named.kestrin"));
        QVERIFY(writeAll(projectPath, R"({"folder": "frames", "pattern": "camera%1_%2.png", "target": "out/n.art"})"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("out"))));
        const Run named = run({QStringLiteral("build"), projectPath, QStringLiteral("--json")});
        QCOMPARE(named.exitCode, 0);
        QVERIFY(QFileInfo(path(QStringLiteral("out/n.art"))).size() > 0);
        // The project is the first file the job read, for reports and depfiles.
        const QJsonObject report = QJsonDocument::fromJson(named.out.toUtf8()).object();
        QCOMPARE(report.value(QStringLiteral("inputs")).toArray().first().toString(), projectPath);
        QCOMPARE(report.value(QStringLiteral("target")).toString(), path(QStringLiteral("out/n.art")));

        QVERIFY(writeAll(projectPath, R"({"folder": "frames", "pattern": "camera%1_%2.png", "palettes": 9})"));
        const Run bad = run({QStringLiteral("build"), projectPath, QStringLiteral("-o"), path("bad.art"),
                             QStringLiteral("--json")});
        QCOMPARE(bad.exitCode, 1);
        QCOMPARE(bad.err, QStringLiteral("kestrin-art: %1: Bad project file: palettes: 9 is not a whole number from 1 "
                                         "to 4\n")
                              .arg(projectPath));
        QVERIFY(bad.out.contains(QStringLiteral("\"kind\": \"bad-project-file\"")));
        QVERIFY(!QFileInfo::exists(path("bad.art")));
        const Run missing = run({QStringLiteral("build"), path(QStringLiteral("missing.kestrin")), "-o", "x.art"});
        QCOMPARE(missing.exitCode, 1); // cannot be read: a failed job
        QVERIFY(writeAll(projectPath, R"({"stages": [[{"file": "frames/camera01_0000.png"}]]})"));
        const Run listed = run({QStringLiteral("build"), projectPath, "-o", "x.art", "--stage-max", "3"});
        QCOMPARE(listed.exitCode, 2); // a range means nothing to a project that lists its frames
        QVERIFY2(listed.err.contains(QStringLiteral("--stage-max: the project lists its frames")), qPrintable(listed.err));
    }

    // extract --indexed, then build of the project it wrote: the same bytes.
    void extractThenBuildIsIdentity_data()
    {
        QTest::addColumn<QStringList>("options"); // how the sprite is made; empty: the rotatable fixture
        QTest::newRow("octree, trimmed") << args({"--trim", "--frame-rate", "12", "--hit-frame", "2"});
        QTest::newRow("refined, dithered") << args({"--quantizer", "refined", "--dither", "floyd-steinberg",
                                                    "--palettes", "1"});
        QTest::newRow("fixed palette") << args({"--palette", "six.gpl", "--trim"});
        QTest::newRow("key background") << args({"--key", "170,170,127", "--trim", "--colors", "8"});
        QTest::newRow("rotatable, empty frame") << QStringList();
    }

    void extractThenBuildIsIdentity()
    {
        QFETCH(QStringList, options);
        for (QString &option : options) {
            if (option == QLatin1String("six.gpl"))
                option = path(option);
        }
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString sprite = path(tag + QStringLiteral(".art"));
        QVERIFY(makeSprite(sprite, options));
        const QString out = path(tag + QStringLiteral("-out"));
        const Run extract = run({QStringLiteral("extract"), sprite, out, QStringLiteral("--indexed"), "-q"});
        QVERIFY2(extract.exitCode == 0, qPrintable(extract.err));
        QVERIFY2(extract.err.isEmpty(), qPrintable(extract.err));
        const QString project = out + QLatin1Char('/') + tag + QStringLiteral(".kestrin");
        const Run build = run({QStringLiteral("build"), project, QStringLiteral("-q")});
        QVERIFY2(build.exitCode == 0, qPrintable(build.err));
        const QByteArray original = readAll(sprite);
        const QString rebuilt = out + QLatin1Char('/') + tag + QStringLiteral(".art");
        QCOMPARE(readAll(rebuilt), original);

        // One frame repainted in the palette's own colours changes that
        // frame's bytes and nothing else.
        const QString edited = out + QStringLiteral("/camera01_0001.png");
        QImage image(edited);
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        image.setPixel(0, 0, image.pixelIndex(0, 0) == 1 ? 2 : 1);
        QVERIFY(image.save(edited));
        QCOMPARE(run({QStringLiteral("build"), project, QStringLiteral("-q")}).exitCode, 0);
        const QByteArray after = readAll(rebuilt);
        QCOMPARE(after.size(), original.size());
        const auto [first, end] = frameBytes(original, 1);
        QVERIFY(end > first);
        QCOMPARE(after.left(first), original.left(first));
        QCOMPARE(after.mid(end), original.mid(end));
        QVERIFY(after.mid(first, end - first) != original.mid(first, end - first));
    }

    // info counts the entries that frames use, a used black entry at the end
    // included, and --json lists the palette up to the last one used.
    void infoCountsTheEntriesFramesUse_data()
    {
        QTest::addColumn<QByteArray>("palette");
        QTest::addColumn<QList<QRgb>>("pixels");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("listed");
        const QByteArray three = "GIMP Palette\n255 255 255\n200 0 0\n0 0 0\n";
        QTest::newRow("black used last") << three << QList<QRgb>{qRgb(255, 255, 255), qRgb(200, 0, 0), qRgb(0, 0, 0)}
                                         << 3 << 3;
        QTest::newRow("black unused") << three << QList<QRgb>{qRgb(255, 255, 255), qRgb(200, 0, 0)} << 2 << 2;
        QTest::newRow("entry between unused")
            << QByteArray("GIMP Palette\n255 255 255\n200 0 0\n0 0 200\n")
            << QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 200)} << 2 << 3;
    }

    void infoCountsTheEntriesFramesUse()
    {
        QFETCH(QByteArray, palette);
        QFETCH(QList<QRgb>, pixels);
        QFETCH(int, count);
        QFETCH(int, listed);
        const QString folder = path(QStringLiteral("count"));
        QVERIFY(QDir().mkpath(folder));
        QImage image(int(pixels.size()), 2, QImage::Format_RGB32);
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, 0, pixels[x]);
            image.setPixel(x, 1, pixels[x]);
        }
        QVERIFY(image.save(folder + QStringLiteral("/f_0000.png")));
        QVERIFY(writeAll(path(QStringLiteral("count.gpl")), palette));
        const QString art = path(QStringLiteral("count.art"));
        QCOMPARE(run({QStringLiteral("build"), folder, QStringLiteral("-o"), art, QStringLiteral("-q"),
                      QStringLiteral("--pattern"), QStringLiteral("f_%2.png"), QStringLiteral("--palette"),
                      path(QStringLiteral("count.gpl"))})
                     .exitCode,
                 0);
        const QStringList text = run({QStringLiteral("info"), art}).out.split(QLatin1Char('\n'));
        QCOMPARE(text.value(7), QStringLiteral("colours:              %1 used").arg(count));
        const QJsonObject json
            = QJsonDocument::fromJson(run({QStringLiteral("info"), art, QStringLiteral("--json")}).out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(json.value(QStringLiteral("colorCount")).toInt(), count);
        QCOMPARE(json.value(QStringLiteral("palette")).toArray().size(), listed);
    }

    // info --json reports a file it cannot use as build --json reports a
    // failed job: the error's kind, path and message, and exit status 1.
    void infoJsonReportsFailures_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << QByteArray() << "cannot-read-file";
        QTest::newRow("too short") << QByteArray("not a sprite") << "malformed-file";
    }

    void infoJsonReportsFailures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, kind);
        const QString file = path(QStringLiteral("broken-%1.art").arg(QTest::currentDataTag()));
        if (!bytes.isEmpty())
            QVERIFY(writeAll(file, bytes));
        const Run cli = run({QStringLiteral("info"), file, QStringLiteral("--json")});
        QCOMPARE(cli.exitCode, 1);
        const QJsonObject json = QJsonDocument::fromJson(cli.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("ok")).toBool(true), false);
        const QJsonObject error = json.value(QStringLiteral("error")).toObject();
        QCOMPARE(error.value(QStringLiteral("kind")).toString(), kind);
        QCOMPARE(error.value(QStringLiteral("path")).toString(), file);
        QVERIFY(cli.err.startsWith(QStringLiteral("kestrin-art: ") + file + QStringLiteral(": ") +
                                   error.value(QStringLiteral("message")).toString()));
    }

    // A hit frame at or beyond the frames per stage is written as given, with
    // a warning on standard error and in the report, which also carries the
    // version and every setting as used.
    void hitFrameBeyondTheFramesWarns_data()
    {
        QTest::addColumn<int>("hitFrame"); // the stages hold 4 frames each
        QTest::addColumn<bool>("warns");
        QTest::newRow("0, the last frame") << 0 << false;
        QTest::newRow("last frame") << 3 << false;
        QTest::newRow("just beyond") << 4 << true;
        QTest::newRow("far beyond") << 99 << true;
    }

    void hitFrameBeyondTheFramesWarns()
    {
        QFETCH(int, hitFrame);
        QFETCH(bool, warns);
        const QString target = path(QStringLiteral("hit.art"));
        const Run cli = run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), target, QStringLiteral("--json"),
                             QStringLiteral("--pattern"), QStringLiteral("camera%1_%2.png"),
                             QStringLiteral("--hit-frame"), QString::number(hitFrame), QStringLiteral("--threads"),
                             QStringLiteral("2")});
        QCOMPARE(cli.exitCode, 0);
        QCOMPARE(field(readAll(target), kestrin::art::kActionFrameOffset), hitFrame == 0 ? 3 : hitFrame);
        const QString line = QStringLiteral("kestrin-art: warning: the hit frame %1 is not below the 4 frame(s) per "
                                            "stage; it is written as given\n")
                                 .arg(hitFrame);
        QCOMPARE(cli.err.contains(line), warns);
        const QJsonObject report = QJsonDocument::fromJson(cli.out.toUtf8()).object();
        QCOMPARE(report.value(QStringLiteral("version")).toString(), QStringLiteral(KESTRIN_VERSION));
        const QJsonArray warnings = report.value(QStringLiteral("warnings")).toArray();
        QCOMPARE(warnings.size(), warns ? 1 : 0);
        if (warns) {
            QCOMPARE(warnings[0].toObject(), (QJsonObject{{QStringLiteral("kind"), QStringLiteral("hit-frame-beyond-frames")},
                                                          {QStringLiteral("hitFrame"), hitFrame},
                                                          {QStringLiteral("framesPerStage"), 4}}));
        }
        const QJsonObject settings = report.value(QStringLiteral("settings")).toObject();
        QCOMPARE(settings.value(QStringLiteral("hitFrame")).toInt(), hitFrame);
        QCOMPARE(settings.value(QStringLiteral("threads")).toInt(), 2);
        QCOMPARE(settings.value(QStringLiteral("pattern")).toString(), QStringLiteral("camera%1_%2.png"));
        QVERIFY(settings.value(QStringLiteral("key")).isNull());
        // Every key a project may hold is reported, besides version.
        for (const char *key : {"folder", "pattern", "stageMin", "stageMax", "stageWidth", "frameMin", "frameMax",
                                "frameWidth", "type", "frameRate", "hitFrame", "palettes", "trim", "key",
                                "keyTolerance", "alphaThreshold", "colors", "quantizer", "dither", "palette", "target"})
            QVERIFY2(settings.contains(QLatin1String(key)), key);
    }
};

KESTRIN_TEST(ProjectsTest)
#include "tst_projects.moc"
