// The generation run: order of checks, messages, progress steps, and the
// promise that a failed run never damages an existing target.
#include "artfixtures.h"
#include "testmain.h"

#include "artfile/artreference.h"
#include "artfile/generationrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace artfixture;
using kestrin::GenerationResult;
using kestrin::GenerationSettings;
using kestrin::Project;

namespace {

using Steps = QList<QPair<QString, int>>;

struct Run {
    GenerationResult result;
    Steps steps;
};

Run run(const Project &project, const QString &target, GenerationSettings settings = {})
{
    Run r;
    r.result = kestrin::runGeneration(project, settings, target,
                                      [&](const QString &text, int value) { r.steps.append({text, value}); });
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

const Steps successSteps{{"Preparing generator...", 0}, {"Reducing colors...", 20}, {"Fixing color indices...", 40},
                         {"Generating Art...", 60},     {"Cleaning up...", 80},     {"Generation completed...", 100}};

} // namespace

class TestRun : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void success()
    {
        Project project;
        fill(project, 2, 3, 5, 4);
        const QString target = path("ok.art");
        writeFile(target, "an older file");
        GenerationSettings settings;
        settings.paletteCount = 3;
        const Run r = run(project, target, settings);
        QVERIFY(r.result.ok);
        QVERIFY(!r.result.showBox);
        QCOMPARE(r.steps, successSteps);
        QCOMPARE(readAll(target), kestrin::referenceArtFile(project, settings));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"ok.art"}); // no temporary left behind
    }

    void noStagesOnlySetsTheStatus()
    {
        const Project project;
        const Run r = run(project, path("none.art"));
        QVERIFY(!r.result.ok);
        QVERIFY(!r.result.showBox);
        QCOMPARE(r.steps, (Steps{{"No stages found...", -1}}));
        QVERIFY(!QFile::exists(path("none.art")));
    }

    void checksInOrder_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("lastFrames"); // frame count of the last stage; the others have 4
        QTest::addColumn<quint32>("rotatable");
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<QString>("target"); // relative to the test folder; "" = empty path
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("prepared"); // "Preparing generator..." was shown
        const QString missing = "no/such/folder/x.art";
        QTest::newRow("7 rotatable stages before the target")
            << 7 << 3 << 1u << 1u << missing << "Number of stages must be 8 for rotatable Art.\n\nAborting generation..."
            << false;
        QTest::newRow("target before the frame counts")
            << 3 << 3 << 0u << 1u << missing << "Cannot create output file \"%1\"\n\nAborting generation..." << false;
        QTest::newRow("empty path") << 1 << 4 << 0u << 1u << ""
                                    << "Cannot create output file \"\"\n\nAborting generation..." << false;
        QTest::newRow("target is a folder") << 1 << 4 << 0u << 1u << "."
                                            << "Cannot create output file \"%1\"\n\nAborting generation..." << false;
        QTest::newRow("4, 4, 3 frames") << 3 << 3 << 0u << 1u << "a.art"
                                        << "Number of frames differ in stage 2:\n-Expected 4 frames.\n-Found 3 frames."
                                           "\n\nAborting generation..."
                                        << true;
        QTest::newRow("4, 5 frames") << 2 << 5 << 0u << 1u << "a.art"
                                     << "Number of frames differ in stage 1:\n-Expected 4 frames.\n-Found 5 frames."
                                        "\n\nAborting generation..."
                                     << true;
        QTest::newRow("8 rotatable stages, counts differ")
            << 8 << 0 << 1u << 4u << "a.art"
            << "Number of frames differ in stage 7:\n-Expected 4 frames.\n-Found 0 frames.\n\nAborting generation..."
            << true;
        QTest::newRow("palette count 5 before the target")
            << 1 << 4 << 0u << 5u << missing << "The palette count must be between 1 and 4; it is 5.\n\nAborting generation..."
            << false;
    }
    void checksInOrder()
    {
        QFETCH(int, stages);
        QFETCH(int, lastFrames);
        QFETCH(quint32, rotatable);
        QFETCH(quint32, paletteCount);
        QFETCH(QString, target);
        QFETCH(QString, message);
        QFETCH(bool, prepared);
        Project project;
        fill(project, stages - 1, 4);
        fill(project, 1, lastFrames);
        const QString full = target.isEmpty() ? QString() : path(target);
        GenerationSettings settings;
        settings.rotatable = rotatable;
        settings.paletteCount = paletteCount;
        const Run r = run(project, full, settings);
        QVERIFY(!r.result.ok);
        QVERIFY(r.result.showBox);
        QCOMPARE(r.result.boxText, message.contains("%1") ? message.arg(full) : message);
        QCOMPARE(r.steps, (prepared ? Steps{{"Preparing generator...", 0}} : Steps{}));
        QVERIFY(!QFile::exists(path("a.art")));
    }

    // A frame-count mismatch leaves an existing target exactly as it was.
    void existingTargetSurvivesMismatch()
    {
        Project project;
        fill(project, 1, 2);
        fill(project, 1, 1);
        const QString target = path("keep.art");
        writeFile(target, "precious bytes");
        const Run r = run(project, target);
        QVERIFY(r.result.showBox);
        QCOMPARE(readAll(target), QByteArray("precious bytes"));
        QCOMPARE(QDir(dir.path()).entryList({"keep.art*"}, QDir::Files), QStringList{"keep.art"});
    }

#ifdef Q_OS_LINUX
    // A write that fails half-way (here: the file-size limit, as on a full
    // disk) returns false with no box, and the old target is untouched.
    void existingTargetSurvivesFailedWrite()
    {
        Project project;
        fill(project, 1, 3, 100, 100);
        const QString target = path("full.art");
        writeFile(target, "precious bytes");
        struct rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 8000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const Run r = run(project, target);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!r.result.ok);
        QVERIFY(!r.result.showBox);
        QVERIFY(!r.result.writeError.isEmpty());
        QCOMPARE(r.steps.last(), (QPair<QString, int>{"Generating Art...", 60}));
        QCOMPARE(readAll(target), QByteArray("precious bytes"));
        QCOMPARE(QDir(dir.path()).entryList({"full.art*"}, QDir::Files), QStringList{"full.art"});
    }
#endif

    // 257 frames of 4096 x 4096 (one shared image) need more than 4 GiB:
    // refused with a box before any colour work, the target untouched.
    void fileBeyondTheFormatIsRefused()
    {
        Project project;
        kestrin::Stage *stage = project.appendStage();
        const QImage big(4096, 4096, QImage::Format_ARGB32);
        for (int i = 0; i < 257; ++i)
            addFrame(stage, big);
        const QString target = path("huge.art");
        writeFile(target, "precious bytes");
        const Run r = run(project, target);
        QVERIFY(!r.result.ok);
        QVERIFY(r.result.showBox);
        QCOMPARE(r.result.boxText, QStringLiteral("The Art file would be too large: 4311752864 bytes (at most "
                                                  "4294967295).\n\nAborting generation..."));
        QCOMPARE(r.steps, (Steps{{"Preparing generator...", 0}}));
        QCOMPARE(readAll(target), QByteArray("precious bytes"));
    }

    // The path is used as typed, not squeezed through an 8-bit conversion.
    void nonLatin1TargetPath()
    {
        Project project;
        fill(project, 1, 2);
        const QString name = QStringLiteral("Sprite_\u0434\u0440\u0430\u043a\u043e\u043d_\u7cbe\u7075.art");
        const Run r = run(project, path(name));
        QVERIFY(r.result.ok);
        QCOMPARE(readAll(path(name)), kestrin::referenceArtFile(project, GenerationSettings()));
        QCOMPARE(QDir(dir.path()).entryList({"Sprite_*"}, QDir::Files), QStringList{name});
    }
};

KESTRIN_TEST(TestRun)
#include "tst_run.moc"
