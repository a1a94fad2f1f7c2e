// The project file: what it reads, what it refuses (naming the key), and
// that what it writes reads back as the same project.
#include "testmain.h"
#include "generate/jobfailure.h"

#include "generate/projectfile.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using kestrin::BuildProject;
using kestrin::FailureKind;

Q_DECLARE_METATYPE(kestrin::BuildProject)

namespace {

/** The project as text that differs whenever two projects differ. */
QString summary(const BuildProject &p)
{
    QStringList parts{p.source.folder,
                      p.source.pattern,
                      QString::number(p.source.stageMin),
                      QString::number(p.source.stageMax),
                      QString::number(p.source.stageWidth),
                      QString::number(p.source.frameMin),
                      QString::number(p.source.frameMax),
                      QString::number(p.source.frameWidth),
                      p.target,
                      QString::number(p.trim),
                      QString::number(p.settings.rotatable),
                      QString::number(p.settings.frameRate),
                      QString::number(p.settings.hitFrame),
                      QString::number(p.settings.paletteCount),
                      QString::number(p.settings.useKey),
                      QString::number(p.settings.keyColor, 16),
                      QString::number(p.settings.keyTolerance),
                      QString::number(p.settings.alphaThreshold),
                      QString::number(p.settings.colorBudget),
                      QString::number(int(p.settings.quantizer)),
                      QString::number(int(p.settings.dither)),
                      p.settings.paletteFile};
    if (p.frames) {
        for (const auto &stage : *p.frames) {
            parts << QStringLiteral("stage");
            for (const auto &frame : stage) {
                parts << frame.file;
                if (frame.centre)
                    parts << QStringLiteral("%1,%2").arg(frame.centre->x()).arg(frame.centre->y());
            }
        }
    }
    return parts.join(QLatin1Char('|'));
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    // A missing key keeps the command line's default; paths are relative to
    // the project file's folder.
    void defaultsAndPaths()
    {
        BuildProject project;
        QVERIFY(!kestrin::parseProject(R"({"version": 1, "folder": "frames", "target": "../out/hero.art"})",
                                       QStringLiteral("work/hero.kestrin"), &project));
        QCOMPARE(project.source.folder, QStringLiteral("work/frames/"));
        QCOMPARE(project.target, QStringLiteral("out/hero.art"));
        BuildProject defaults;
        defaults.source.folder = project.source.folder;
        defaults.target = project.target;
        QCOMPARE(summary(project), summary(defaults));
        QVERIFY(!kestrin::parseProject("{}", QStringLiteral("/abs/p.kestrin"), &project));
        QCOMPARE(project.source.folder, QStringLiteral("/abs/"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("{\"pattern\": ") << "not JSON: ";
        QTest::newRow("not an object") << QByteArray("[1]") << "not one JSON object";
        QTest::newRow("unknown key") << QByteArray(R"({"colours": 4})") << "colours: unknown key";
        QTest::newRow("option spelling") << QByteArray(R"({"stage-min": 4})") << "stage-min: unknown key";
        QTest::newRow("no project setting") << QByteArray(R"({"threads": 4})") << "threads: unknown key";
        QTest::newRow("version") << QByteArray(R"({"version": 2})") << "version: 2 is not 1";
        QTest::newRow("number as text") << QByteArray(R"({"stageMin": "1"})")
                                        << "stageMin: \"1\" is not a whole number from 0 to 4294967295";
        QTest::newRow("fraction") << QByteArray(R"({"frameRate": 1.5})") << "frameRate: 1.5 is not a whole number";
        QTest::newRow("out of range") << QByteArray(R"({"palettes": 5})")
                                      << "palettes: 5 is not a whole number from 1 to 4";
        QTest::newRow("bound below 32 bits") << QByteArray(R"({"stageMax": -2147483649})")
                                             << "stageMax: -2147483649 is not a whole number from -2147483648";
        QTest::newRow("choice") << QByteArray(R"({"type": "diagonal"})")
                                << "type: \"diagonal\" is not one of: \"static\", \"rotatable\"";
        QTest::newRow("trim as number") << QByteArray(R"({"trim": 1})") << "trim: 1 is not true or false";
        QTest::newRow("key of two") << QByteArray(R"({"key": [1, 2]})") << "key: [1,2] is not [R, G, B]";
        QTest::newRow("key value 300") << QByteArray(R"({"key": [1, 2, 300]})") << "key: [1,2,300] is not [R, G, B]";
        QTest::newRow("tolerance without key") << QByteArray(R"({"keyTolerance": 5})") << "keyTolerance: needs key";
        QTest::newRow("palette with colors") << QByteArray(R"({"palette": "a.gpl", "colors": 16})")
                                             << "palette: cannot be combined with colors";
        QTest::newRow("pattern without %2") << QByteArray(R"({"pattern": "cam%1.bmp"})")
                                            << "pattern: \"cam%1.bmp\": The file-name pattern has no %2";
        QTest::newRow("stages and folder") << QByteArray(R"({"folder": "f", "stages": [[{"file": "a.png"}]]})")
                                           << "stages: cannot be combined with folder";
        QTest::newRow("file as number") << QByteArray(R"({"stages": [[{"file": 5}]]})")
                                        << "stages[0][0].file: 5 is not a file name";
        QTest::newRow("bad centre") << QByteArray(R"({"stages": [[], [{"file": "a.png", "centre": [1]}]]})")
                                    << "stages[1][0].centre: [1] is not [X, Y]";
        QTest::newRow("unknown frame key") << QByteArray(R"({"stages": [[{"file": "a.png", "center": [1, 2]}]]})")
                                           << "stages[0][0].center: unknown key";
    }

    void refusals()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        BuildProject project;
        project.target = QStringLiteral("kept");
        const kestrin::Failure failure = kestrin::parseProject(json, QStringLiteral("p.kestrin"), &project);
        QCOMPARE(failure.kind, FailureKind(kestrin::JobFailure::BadProjectFile));
        QCOMPARE(failure.path, QStringLiteral("p.kestrin"));
        QVERIFY2(failure.reason.startsWith(reason), qPrintable(failure.reason));
        QCOMPARE(project.target, QStringLiteral("kept")); // untouched on failure
    }

    // Whatever is written reads back as the same project, from a file in
    // another folder than the paths it names.
    void writtenProjectReadsBack_data()
    {
        QTest::addColumn<BuildProject>("project");
        BuildProject folder;
        folder.source.folder = QStringLiteral("renders/hero/");
        folder.source.pattern = QStringLiteral("walk_%2.png");
        folder.source.stageMax = 4294967295u;
        folder.source.stageWidth = -3;
        folder.source.frameMin = 1;
        folder.target = QStringLiteral("build/hero.art");
        folder.trim = true;
        folder.settings.rotatable = 1;
        folder.settings.frameRate = 12;
        folder.settings.hitFrame = 3;
        folder.settings.paletteCount = 2;
        folder.settings.useKey = true;
        folder.settings.keyColor = 0xff00ff;
        folder.settings.keyTolerance = 20;
        folder.settings.alphaThreshold = 128;
        folder.settings.colorBudget = 64;
        folder.settings.quantizer = kestrin::QuantizerKind::Refined;
        folder.settings.dither = kestrin::DitherKind::FloydSteinberg;
        QTest::newRow("folder and every setting") << folder;
        BuildProject listed;
        listed.source.folder = QStringLiteral("project/");
        listed.frames = kestrin::FrameList{{{QStringLiteral("project/a b.png"), QPoint(-3, 7)},
                                            {QStringLiteral("elsewhere/c.png"), std::nullopt},
                                            {QString(), QPoint(2, 1)}},
                                           {}};
        listed.settings.paletteFile = QStringLiteral("project/hero.gpl");
        QTest::newRow("listed frames and a palette") << listed;
        QTest::newRow("defaults") << BuildProject{};
    }

    void writtenProjectReadsBack()
    {
        QFETCH(BuildProject, project);
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        QVERIFY(QDir().mkpath(QStringLiteral("project")));
        const QString path = QStringLiteral("project/hero.kestrin");
        if (project.source.folder.isEmpty())
            project.source.folder = QStringLiteral("project/");
        QVERIFY(!kestrin::writeProjectFile(path, project));
        BuildProject read;
        const kestrin::Failure failure = kestrin::readProjectFile(path, &read);
        QVERIFY2(!failure, qPrintable(failure.reason));
        QCOMPARE(summary(read), summary(project));
    }
};

KESTRIN_TEST(TestProjectFile)
#include "tst_projectfile.moc"
