// Loading on several threads gives what loading one file after the other
// gives: the same project, failure, stopping point and callbacks.
#include "project/folderloader.h"
#include "fixtures.h"
#include "seededfolder.h"
#include "testmain.h"
#include "wording/failuretext.h"
#include "project/framefailure.h"

#include <QTemporaryDir>
#include <QTest>

using fixture::BadFile;
using kestrin::FolderPattern;
using kestrin::Project;

Q_DECLARE_METATYPE(fixture::BadFile)

namespace {

/** Everything a caller of loadFolder can see. */
struct Load {
    QStringList project;   // projectSummary
    QString failure;       // kind, path and reason
    QStringList progress;  // "done/total" of every call
    QStringList callbacks; // the path of every frame handed to frameLoaded
};

Load load(const FolderPattern &pattern, int threads)
{
    Load seen;
    Project project;
    kestrin::LoadOptions options;
    options.threads = threads;
    options.progress = [&](quint64 done, quint64 total) { seen.progress << QStringLiteral("%1/%2").arg(done).arg(total); };
    options.frameLoaded = [&](kestrin::Frame &frame) { seen.callbacks << frame.filePath; };
    const kestrin::Failure failure = kestrin::loadFolder(project, pattern, options);
    seen.failure = kestrin::failureKindName(failure.kind) + QLatin1Char(' ') + failure.path + QLatin1Char(' ')
        + failure.reason;
    seen.project = fixture::projectSummary(project);
    return seen;
}

/** The frame paths that the scan of `pattern` lists, in load order. */
QStringList scannedPaths(const FolderPattern &pattern)
{
    QStringList paths;
    for (const kestrin::FoundStage &stage : kestrin::scanFolder(pattern).stages)
        paths << stage.framePaths;
    return paths;
}

} // namespace

class ParallelLoadTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Folders of 2 to 32 frames of mixed PNG kinds and sizes; the bad file
    // sits at a position of the load order (negative: from the end). A
    // pattern without a frame number would repeat each stage's first file for
    // every frame; it is refused before anything is decoded, on any number of
    // threads.
    void sameAsOneFileAfterTheOther_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<BadFile>("bad");
        QTest::addColumn<int>("badAt");
        QTest::addColumn<bool>("repeated");
        QTest::newRow("all good") << 1u << BadFile::None << 0 << false;
        QTest::newRow("all good, other seed") << 2u << BadFile::None << 0 << false;
        QTest::newRow("not an image, first frame") << 3u << BadFile::NotAnImage << 0 << false;
        QTest::newRow("truncated, second frame") << 4u << BadFile::Truncated << 1 << false;
        QTest::newRow("folder, in the middle") << 5u << BadFile::Folder << 7 << false;
        QTest::newRow("empty file, later") << 6u << BadFile::Empty << 12 << false;
        QTest::newRow("truncated, last frame") << 7u << BadFile::Truncated << -1 << false;
        QTest::newRow("not an image, next to last") << 8u << BadFile::NotAnImage << -2 << false;
        QTest::newRow("truncated, elsewhere") << 9u << BadFile::Truncated << 5 << false;
        QTest::newRow("repeated names, all good") << 10u << BadFile::None << 0 << true;
        QTest::newRow("repeated names, bad first file") << 11u << BadFile::NotAnImage << 0 << true;
        QTest::newRow("repeated names, bad later file") << 12u << BadFile::Truncated << -1 << true;
    }
    void sameAsOneFileAfterTheOther()
    {
        QFETCH(quint32, seed);
        QFETCH(BadFile, bad);
        QFETCH(int, badAt);
        QFETCH(bool, repeated);
        const fixture::SeededFolder made = fixture::writeSeededFolder(
            dir.filePath(QString::fromLatin1(QTest::currentDataTag())) + QLatin1Char('/'), seed);
        QVERIFY(!made.paths.isEmpty());
        FolderPattern source;
        source.folder = made.folder;
        source.pattern = repeated ? QStringLiteral("camera%1_0000.png") : QStringLiteral("camera%1_%2.png");
        source.frameMax = repeated ? 5 : 9999;
        if (repeated) {
            for (int threads : {1, 8}) {
                const Load refused = load(source, threads);
                QVERIFY2(refused.failure.startsWith(QStringLiteral("no-frame-number")), qPrintable(refused.failure));
                QVERIFY(refused.project.isEmpty() && refused.callbacks.isEmpty() && refused.progress.isEmpty());
            }
            return;
        }
        const QStringList all = scannedPaths(source);
        const int count = int(all.size());
        QVERIFY(count > 1);
        const QString badPath = bad == BadFile::None ? QString() : all[((badAt % count) + count) % count];
        if (!badPath.isEmpty())
            QVERIFY(fixture::spoilFile(badPath, bad));

        // One thread: every frame up to the first that names the bad file,
        // which stays empty as the last frame, and nothing after it.
        const Load sequential = load(source, 1);
        const qsizetype loaded = badPath.isEmpty() ? count : all.indexOf(badPath);
        QCOMPARE(sequential.project.size(), loaded + (badPath.isEmpty() ? 0 : 1));
        QCOMPARE(sequential.callbacks, all.mid(0, loaded));
        QCOMPARE(sequential.progress.size(), loaded);
        if (!badPath.isEmpty()) {
            QVERIFY2(sequential.failure.startsWith(
                         kestrin::failureKindName(kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame)) + QLatin1Char(' ') + badPath),
                     qPrintable(sequential.failure));
            QVERIFY2(sequential.project.last().contains(QStringLiteral("source null work null")),
                     qPrintable(sequential.project.last()));
        }

        for (int threads : {2, 3, 8, 64}) {
            const Load parallel = load(source, threads);
            QCOMPARE(parallel.project, sequential.project);
            QCOMPARE(parallel.failure, sequential.failure);
            QCOMPARE(parallel.progress, sequential.progress);
            QCOMPARE(parallel.callbacks, sequential.callbacks);
        }
    }
};

KESTRIN_TEST(ParallelLoadTest)
#include "tst_parallelload.moc"
