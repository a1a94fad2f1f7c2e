// The generation run: order of checks, messages, progress steps, and the
// promise that a failed run never damages an existing target.
#include "fixtures.h"
#include "testmain.h"
#include "fileio/failure.h"
#include "generate/jobfailure.h"

#include "referenceart.h"
#include "generate/generation.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace fixture;
using kestrin::FailureKind;
using kestrin::GenerationOutcome;
using kestrin::GenerationSettings;
using kestrin::GenerationStep;
using kestrin::Project;

namespace {

using Steps = QList<GenerationStep>;

struct Run {
    GenerationOutcome result;
    Steps steps;
};

Run run(const Project &project, const QString &target, GenerationSettings settings = {})
{
    Run r;
    r.result = kestrin::runGeneration(project, settings, target, [&](GenerationStep step) { r.steps.append(step); });
    return r;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(writeAll(path, bytes));
}

const Steps successSteps{GenerationStep::Preparing,     GenerationStep::Reducing,   GenerationStep::FixingIndices,
                         GenerationStep::Writing,       GenerationStep::CleaningUp, GenerationStep::Completed};

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
        QVERIFY(r.result.ok());
        QCOMPARE(r.steps, successSteps);
        const QByteArray written = readAll(target);
        QCOMPARE(written, kestrinref::referenceArtFile(project, settings));
        QCOMPARE(r.result.bytes, quint64(written.size()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"ok.art"}); // no temporary left behind
    }

    // Which check speaks first, and whether the target was opened by then
    // ("Preparing" reported); the window and the command line word these.
    void checksInOrder_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("lastFrames"); // frame count of the last stage; the others have 4
        QTest::addColumn<quint32>("rotatable");
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<QString>("target"); // relative to the test folder; "" = empty path
        QTest::addColumn<FailureKind>("kind");
        QTest::addColumn<bool>("prepared"); // GenerationStep::Preparing was reported
        const QString missing = "no/such/folder/x.art";
        QTest::newRow("no stages") << 0 << 0 << 0u << 1u << missing << FailureKind(kestrin::JobFailure::NoStages) << false;
        QTest::newRow("7 rotatable stages before the target")
            << 7 << 3 << 1u << 1u << missing << FailureKind(kestrin::JobFailure::WrongStageCount) << false;
        QTest::newRow("palette count 5 before the target")
            << 1 << 4 << 0u << 5u << missing << FailureKind(kestrin::JobFailure::BadPaletteCount) << false;
        QTest::newRow("target before the frame counts")
            << 3 << 3 << 0u << 1u << missing << FailureKind(kestrin::FileFailure::CannotCreateFile) << false;
        QTest::newRow("empty path") << 1 << 4 << 0u << 1u << "" << FailureKind(kestrin::FileFailure::CannotCreateFile) << false;
        QTest::newRow("target is a folder") << 1 << 4 << 0u << 1u << "." << FailureKind(kestrin::FileFailure::CannotCreateFile) << false;
        QTest::newRow("4, 4, 3 frames") << 3 << 3 << 0u << 1u << "a.art" << FailureKind(kestrin::JobFailure::FrameCountMismatch) << true;
        QTest::newRow("8 rotatable stages, counts differ")
            << 8 << 0 << 1u << 4u << "a.art" << FailureKind(kestrin::JobFailure::FrameCountMismatch) << true;
    }
    void checksInOrder()
    {
        QFETCH(int, stages);
        QFETCH(int, lastFrames);
        QFETCH(quint32, rotatable);
        QFETCH(quint32, paletteCount);
        QFETCH(QString, target);
        QFETCH(FailureKind, kind);
        QFETCH(bool, prepared);
        Project project;
        if (stages > 0) {
            fill(project, stages - 1, 4);
            fill(project, 1, lastFrames);
        }
        const QString full = target.isEmpty() ? QString() : path(target);
        GenerationSettings settings;
        settings.rotatable = rotatable;
        settings.paletteCount = paletteCount;
        const Run r = run(project, full, settings);
        QVERIFY(!r.result.ok());
        QCOMPARE(r.result.failure.kind, kind);
        if (kind == FailureKind(kestrin::FileFailure::CannotCreateFile)) {
            QCOMPARE(r.result.failure.path, full);
            QVERIFY2(!r.result.failure.reason.isEmpty(), "the system's reason is kept");
        }
        if (kind == FailureKind(kestrin::JobFailure::FrameCountMismatch)) {
            QCOMPARE(r.result.failure.stage, qint64(stages - 1));
            QCOMPARE(r.result.failure.expected, qint64(4));
            QCOMPARE(r.result.failure.found, qint64(lastFrames));
        }
        const Steps expected = kind == FailureKind(kestrin::JobFailure::NoStages) ? Steps{GenerationStep::NoStages}
            : prepared                                       ? Steps{GenerationStep::Preparing}
                                                             : Steps{};
        QCOMPARE(r.steps, expected);
        QVERIFY(!QFile::exists(path("a.art")));
        QVERIFY(!QFile::exists(path(QStringLiteral("no/such/folder/x.art"))));
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
        QCOMPARE(r.result.failure.kind, FailureKind(kestrin::JobFailure::FrameCountMismatch));
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
        QCOMPARE(r.result.failure.kind, FailureKind(kestrin::FileFailure::CannotWriteFile));
        QCOMPARE(r.result.failure.path, target);
        QCOMPARE(r.result.failure.reason, QStringLiteral("File too large"));
        QCOMPARE(r.steps.last(), GenerationStep::Writing);
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
        QCOMPARE(r.result.failure.kind, FailureKind(kestrin::JobFailure::FileTooLarge));
        QCOMPARE(r.result.failure.found, qint64(4311755936));
        QCOMPARE(r.result.failure.expected, qint64(4294967295));
        QCOMPARE(r.steps, (Steps{GenerationStep::Preparing}));
        QCOMPARE(readAll(target), QByteArray("precious bytes"));
    }

    // A generation into memory gives exactly the bytes a file gets, with the
    // same steps; a file target is only looked at until the colours are
    // reduced, so a job killed during the long part leaves nothing behind.
    void memoryAndFileSinksAgree_data()
    {
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("1 palette, new target") << 1u << false;
        QTest::newRow("4 palettes, existing target") << 4u << true;
    }
    void memoryAndFileSinksAgree()
    {
        QFETCH(quint32, paletteCount);
        QFETCH(bool, targetExists);
        Project project;
        fill(project, 2, 3, 7, 5);
        GenerationSettings settings;
        settings.paletteCount = paletteCount;
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        kestrin::DeviceSink memory(buffer);
        Steps memorySteps;
        const GenerationOutcome inMemory = kestrin::runGeneration(
            project, settings, memory, [&](GenerationStep step) { memorySteps.append(step); });
        QVERIFY(inMemory.ok());

        QTemporaryDir folder;
        const QString target = folder.filePath("t.art");
        if (targetExists)
            writeFile(target, "old");
        QStringList seenBeforeWriting;
        const GenerationOutcome toFile = kestrin::runGeneration(project, settings, target, [&](GenerationStep step) {
            if (step == GenerationStep::FixingIndices)
                seenBeforeWriting = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        });
        QVERIFY(toFile.ok());
        QCOMPARE(seenBeforeWriting, targetExists ? QStringList{"t.art"} : QStringList{});
        QCOMPARE(memorySteps, successSteps);
        QCOMPARE(buffer.data(), readAll(target));
        QCOMPARE(inMemory.bytes, quint64(buffer.data().size()));
    }

    // The path is used as typed, not squeezed through an 8-bit conversion.
    void nonLatin1TargetPath()
    {
        Project project;
        fill(project, 1, 2);
        const QString name = QStringLiteral("Sprite_\u0434\u0440\u0430\u043a\u043e\u043d_\u7cbe\u7075.art");
        const Run r = run(project, path(name));
        QVERIFY(r.result.ok());
        QCOMPARE(readAll(path(name)), kestrinref::referenceArtFile(project, GenerationSettings()));
        QCOMPARE(QDir(dir.path()).entryList({"Sprite_*"}, QDir::Files), QStringList{name});
    }
};

KESTRIN_TEST(TestRun)
#include "tst_run.moc"
