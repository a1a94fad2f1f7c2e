// A whole job from a folder: colours reduced while later frames still decode
// give the file (and the failure) of loading, trimming and then generating.
#include "fixtures.h"
#include "seededfolder.h"
#include "testmain.h"
#include "wording/failuretext.h"
#include "fileio/failure.h"
#include "project/framefailure.h"
#include "generate/jobfailure.h"

#include "generate/colorreduction.h"
#include "generate/framepreparation.h"
#include "generate/generation.h"

#include <QTemporaryDir>
#include <QTest>

#include <random>

using kestrin::FailureKind;
using kestrin::Project;

namespace {

/** `stages` stages of `frames` seeded PNG frames in `folder` (ending with '/'). */
bool writeGrid(const QString &folder, quint32 seed, int stages, int frames)
{
    std::mt19937 rng(seed);
    for (int s = 1; s <= stages; ++s) {
        for (int f = 0; f < frames; ++f) {
            const QString name =
                QStringLiteral("camera%1_%2.png").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
            if (!fixture::writeImage(folder + name, fixture::seededFrame(rng, 8 + int(rng() % 60), 8 + int(rng() % 60))))
                return false;
        }
    }
    return true;
}

/** What a job leaves behind: the outcome, the file, and what its callbacks saw. */
struct Job {
    QString failure;
    QByteArray file;
    QStringList loaded; // projectSummary of the project handed to `loaded`
};

Job viaBuildSprite(const kestrin::BuildRequest &request)
{
    Job job;
    kestrin::BuildCallbacks callbacks;
    callbacks.loaded = [&](const Project &project) { job.loaded = fixture::projectSummary(project); };
    const kestrin::GenerationOutcome outcome = kestrin::buildSprite(request, callbacks);
    job.failure = kestrin::failureKindName(outcome.failure.kind) + QLatin1Char(' ') + outcome.failure.path;
    job.file = fixture::readAll(request.target);
    return job;
}

/** The same job one step after the other: load on one thread, trim, generate. */
Job stepByStep(const kestrin::BuildRequest &request)
{
    Job job;
    Project project;
    kestrin::LoadOptions options;
    options.threads = 1;
    kestrin::Failure failure = kestrin::loadFolder(project, request.source, options);
    if (!failure) {
        if (request.trim) { // as the window's Apply with only "Apply bound rectangle" checked
            const kestrin::FramePreparation apply = kestrin::framePreparation(request.settings, true);
            (void)kestrin::trimFrames(project, apply);
            (void)kestrin::keyFrames(project, apply);
        }
        job.loaded = fixture::projectSummary(project);
        failure = kestrin::runGeneration(project, request.settings, request.target, {}).failure;
    }
    job.failure = kestrin::failureKindName(failure.kind) + QLatin1Char(' ') + failure.path;
    job.file = fixture::readAll(request.target);
    return job;
}

/** Frame k of a set whose frames each hold hundreds of colours of their own
 *  corner of the colour cube: together they overflow the octree, whose folds
 *  then depend on the order the frames arrive in. */
QImage clusterFrame(int k)
{
    return fixture::image(48, 40, [k](int x, int y) {
        const int i = y * 48 + x;
        return fixture::bgr(100 + 4 * (i / 60 % 8), 16 + 4 * (i / 5 % 12), 48 * k + 4 * (i % 5));
    });
}

QByteArray paletteOf(const kestrin::ColorReduction &colors)
{
    return QByteArray(reinterpret_cast<const char *>(colors.palette()), int(colors.colorCount()) * 4);
}

} // namespace

class BuildSpriteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void sameAsLoadThenGenerate_data()
    {
        QTest::addColumn<bool>("trim");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("badAt"); // position of a file that is no image; -1: none
        QTest::addColumn<bool>("unequal");
        QTest::addColumn<QString>("colours"); // "", "refined", "refined+key": the colour options
        QTest::newRow("whole frames, one thread") << false << 1 << -1 << false << "";
        QTest::newRow("whole frames, all cores") << false << 0 << -1 << false << "";
        QTest::newRow("trimmed, one thread") << true << 1 << -1 << false << "";
        QTest::newRow("trimmed, four threads") << true << 4 << -1 << false << "";
        QTest::newRow("refined, whole frames") << false << 0 << -1 << false << "refined";
        QTest::newRow("refined, key colour, trimmed") << true << 4 << -1 << false << "refined+key";
        QTest::newRow("bad file in the middle") << true << 4 << 7 << false << "";
        QTest::newRow("bad last file") << false << 3 << 14 << false << "";
        QTest::newRow("frame counts differ") << true << 4 << -1 << true << "";
    }
    void sameAsLoadThenGenerate()
    {
        QFETCH(bool, trim);
        QFETCH(int, threads);
        QFETCH(int, badAt);
        QFETCH(bool, unequal);
        QFETCH(QString, colours);
        const QString folder = dir.filePath(QString::fromLatin1(QTest::currentDataTag())) + QLatin1Char('/');
        QVERIFY(writeGrid(folder, 77, 3, 5));
        kestrin::BuildRequest request;
        request.source.folder = folder;
        request.source.pattern = QStringLiteral("camera%1_%2.png");
        request.trim = trim;
        request.settings.threads = threads;
        if (colours.startsWith(QLatin1String("refined")))
            request.settings.quantizer = kestrin::QuantizerKind::Refined;
        if (colours.endsWith(QLatin1String("+key"))) {
            request.settings.useKey = true;
            request.settings.keyColor = 0x000000;
            request.settings.keyTolerance = 40;
        }
        QStringList paths;
        for (const kestrin::FoundStage &stage : kestrin::scanFolder(request.source).stages)
            paths << stage.framePaths;
        if (badAt >= 0)
            QVERIFY(fixture::spoilFile(paths[badAt], fixture::BadFile::NotAnImage));
        if (unequal)
            QVERIFY(QFile::remove(paths.last()));

        request.target = dir.filePath(QStringLiteral("%1-steps.art").arg(QTest::currentDataTag()));
        const Job expected = stepByStep(request);
        request.target = dir.filePath(QStringLiteral("%1-build.art").arg(QTest::currentDataTag()));
        const Job job = viaBuildSprite(request);
        QCOMPARE(job.failure, expected.failure);
        QCOMPARE(job.loaded, expected.loaded);
        QCOMPARE(job.file, expected.file);
        const FailureKind kind = badAt >= 0 ? FailureKind(kestrin::FrameFailure::CannotLoadFrame)
            : unequal                      ? FailureKind(kestrin::JobFailure::FrameCountMismatch)
                                           : FailureKind();
        QVERIFY2(job.failure.startsWith(kestrin::failureKindName(kind)), qPrintable(job.failure));
        QCOMPARE(job.file.isEmpty(), kind != FailureKind());
    }

    // A finished feed is the reduction's first stage: its octree (or
    // histogram) is taken as given, so the palette is the one of the images
    // the feed saw. Fed the project's frames in order, that is the palette
    // of the project.
    void finishedFeedIsTakenAsGiven_data()
    {
        // The frames fed, by index; 'x': frame 1 changed at this point; 'e': a frame of no stage.
        QTest::addColumn<QString>("feeding");
        QTest::addColumn<bool>("projectsOwn"); // the palette the feed gives is the project's own
        QTest::addColumn<bool>("refined");     // the refined quantizer's histogram is fed, not the octree
        QTest::newRow("the project's frames in order") << "0123" << true << false;
        QTest::newRow("an image changed after feeding") << "01x23" << false << false;
        QTest::newRow("a frame missing") << "013" << false << false;
        QTest::newRow("an extra frame") << "0123e" << false << false;
        QTest::newRow("two frames swapped") << "0213" << false << false;
        // A histogram does not depend on the order of its pixels.
        QTest::newRow("refined, the project's frames") << "0123" << true << true;
        QTest::newRow("refined, two frames swapped") << "0213" << true << true;
        QTest::newRow("refined, a frame missing") << "013" << false << true;
        QTest::newRow("refined, an image changed after feeding") << "01x23" << false << true;
    }
    void finishedFeedIsTakenAsGiven()
    {
        QFETCH(QString, feeding);
        QFETCH(bool, projectsOwn);
        QFETCH(bool, refined);
        kestrin::GenerationSettings settings;
        if (refined)
            settings.quantizer = kestrin::QuantizerKind::Refined;
        const kestrin::ColorOptions options = kestrin::colorOptionsOf(settings);
        Project project;
        for (int s = 0; s < 2; ++s) {
            kestrin::Stage *stage = project.appendStage();
            for (int f = 0; f < 2; ++f)
                fixture::addFrame(stage, clusterFrame(2 * s + f));
        }
        auto frame = [&](int i) -> kestrin::Frame & { return *project.stages[size_t(i / 2)]->frames[size_t(i % 2)]; };
        kestrin::ColorFeed feed{settings};
        QVERIFY(feed.feeds());
        Project fedImages; // what the feed saw
        kestrin::Stage *seen = fedImages.appendStage();
        for (const QChar c : feeding) {
            if (c == QLatin1Char('x')) {
                kestrin::Frame &changed = frame(1);
                changed.workImage.setPixel(0, 0, changed.workImage.pixel(0, 0) ^ 0x00ffffffu);
                continue;
            }
            kestrin::Frame extra;
            extra.workImage = clusterFrame(4);
            const kestrin::Frame &fedFrame = c == QLatin1Char('e') ? extra : frame(c.digitValue());
            feed.add(fedFrame);
            fixture::addFrame(seen, fedFrame.workImage);
        }
        feed.finish();

        const kestrin::ColorReduction fresh(project, 2, options);
        const kestrin::ColorReduction ofFed(fedImages, quint32(seen->frameCount), options);
        const kestrin::ColorReduction fed(project, 2, options, &feed);
        QCOMPARE(paletteOf(fed), paletteOf(ofFed));
        QCOMPARE(paletteOf(fed) == paletteOf(fresh), projectsOwn);
    }

    // The octree over whole frames and the refined quantizer (any background)
    // are fed; the octree with a background and a palette file are made by
    // the reduction itself. Fed or not, the palette is the same.
    void whatIsFed_data()
    {
        QTest::addColumn<QString>("setting"); // the one setting changed from the defaults
        QTest::addColumn<bool>("feeds");
        QTest::newRow("octree") << QString() << true;
        QTest::newRow("octree, 16 colours") << QStringLiteral("budget") << true;
        QTest::newRow("refined") << QStringLiteral("refined") << true;
        QTest::newRow("refined, key colour") << QStringLiteral("refined+key") << true;
        QTest::newRow("key colour") << QStringLiteral("key") << false;
        QTest::newRow("alpha threshold") << QStringLiteral("alpha") << false;
        QTest::newRow("palette file") << QStringLiteral("palette") << false;
    }
    void whatIsFed()
    {
        QFETCH(QString, setting);
        QFETCH(bool, feeds);
        kestrin::GenerationSettings settings;
        if (setting == QLatin1String("budget"))
            settings.colorBudget = 16;
        else if (setting.startsWith(QLatin1String("refined")))
            settings.quantizer = kestrin::QuantizerKind::Refined;
        else if (setting == QLatin1String("key"))
            settings.useKey = true;
        if (setting.endsWith(QLatin1String("+key")))
            settings.useKey = true;
        else if (setting == QLatin1String("alpha"))
            settings.alphaThreshold = 128;
        else if (setting == QLatin1String("palette"))
            settings.paletteFile = QStringLiteral("colours.gpl");
        kestrin::ColorFeed feed(settings);
        QCOMPARE(feed.feeds(), feeds);
        Project project;
        kestrin::Stage *stage = project.appendStage();
        fixture::addFrame(stage, clusterFrame(0));
        fixture::addFrame(stage, clusterFrame(1));
        feed.add(*stage->frames[0]);
        feed.add(*stage->frames[1]);
        feed.finish();
        if (!settings.paletteFile.isEmpty())
            return; // no file to read: the feed's refusal is what counts
        const kestrin::ColorOptions options = kestrin::colorOptionsOf(settings);
        const kestrin::ColorReduction fed(project, 2, options, &feed);
        const kestrin::ColorReduction own(project, 2, options);
        QCOMPARE(paletteOf(fed), paletteOf(own));
    }
};

// Every failure of a job says which step it came from, so that a front end
// can tell what it is about without knowing every kind.
class FailureStepTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void eachStepMarksItsFailures_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("spoil"); // position of a file made no image; -1: none
        QTest::addColumn<bool>("dropLast");
        QTest::addColumn<quint32>("paletteCount");
        QTest::addColumn<QString>("paletteFile"); // under the job's folder; empty: none
        QTest::addColumn<QString>("target");      // under the job's folder
        QTest::addColumn<bool>("refuseOutputs");  // the caller's check of the outputs fails
        QTest::addColumn<FailureKind>("kind");
        QTest::addColumn<kestrin::FailureStep>("step");
        const QString grid = QStringLiteral("camera%1_%2.png");
        const QString out = QStringLiteral("out.art");
        using Step = kestrin::FailureStep;
        QTest::newRow("pattern without a frame number") << QStringLiteral("camera%1.png") << -1 << false << 1u
                                                        << QString() << out << false << FailureKind(kestrin::FrameFailure::NoFrameNumber)
                                                        << Step::Find;
        QTest::newRow("no file matches") << QStringLiteral("other%1_%2.png") << -1 << false << 1u << QString() << out
                                         << false << FailureKind(kestrin::FrameFailure::NoStagesFound) << Step::Find;
        QTest::newRow("a frame that is no image") << grid << 3 << false << 1u << QString() << out << false
                                                  << FailureKind(kestrin::FrameFailure::CannotLoadFrame) << Step::Load;
        QTest::newRow("caller refuses the outputs") << grid << -1 << false << 1u << QString() << out << true
                                                    << FailureKind(kestrin::FileFailure::OutputIsInput) << Step::Output;
        QTest::newRow("five palettes") << grid << -1 << false << 5u << QString() << out << false
                                       << FailureKind(kestrin::JobFailure::BadPaletteCount) << Step::Check;
        QTest::newRow("palette file missing") << grid << -1 << false << 1u << QStringLiteral("none.gpl") << out
                                              << false << FailureKind(kestrin::FileFailure::CannotReadFile) << Step::Palette;
        QTest::newRow("target folder missing") << grid << -1 << false << 1u << QString()
                                               << QStringLiteral("missing/out.art") << false
                                               << FailureKind(kestrin::FileFailure::CannotCreateFile) << Step::Output;
        QTest::newRow("frame counts differ") << grid << -1 << true << 1u << QString() << out << false
                                             << FailureKind(kestrin::JobFailure::FrameCountMismatch) << Step::Check;
    }
    void eachStepMarksItsFailures()
    {
        QFETCH(QString, pattern);
        QFETCH(int, spoil);
        QFETCH(bool, dropLast);
        QFETCH(quint32, paletteCount);
        QFETCH(QString, paletteFile);
        QFETCH(QString, target);
        QFETCH(bool, refuseOutputs);
        QFETCH(FailureKind, kind);
        QFETCH(kestrin::FailureStep, step);
        const QString folder = dir.filePath(QString::fromLatin1(QTest::currentDataTag())) + QLatin1Char('/');
        QVERIFY(writeGrid(folder, 5, 2, 3));
        kestrin::BuildRequest request;
        request.source.folder = folder;
        request.source.pattern = pattern;
        request.target = folder + target;
        request.settings.paletteCount = paletteCount;
        if (!paletteFile.isEmpty())
            request.settings.paletteFile = folder + paletteFile;
        QStringList paths;
        for (const kestrin::FoundStage &stage : kestrin::scanFolder(request.source).stages)
            paths << stage.framePaths;
        if (spoil >= 0)
            QVERIFY(fixture::spoilFile(paths[spoil], fixture::BadFile::NotAnImage));
        if (dropLast)
            QVERIFY(QFile::remove(paths.last()));
        kestrin::BuildCallbacks callbacks;
        if (refuseOutputs) {
            callbacks.check = [&](const QStringList &inputs) {
                return kestrin::Failure::of(FailureKind(kestrin::FileFailure::OutputIsInput), request.target, inputs.first());
            };
        }
        const kestrin::Failure failure = kestrin::buildSprite(request, callbacks).failure;
        QCOMPARE(failure.kind, kind);
        QCOMPARE(failure.step, step);
        QVERIFY(!QFile::exists(request.target));
    }

    void noFailureHasNoStep()
    {
        QCOMPARE(kestrin::Failure().at(kestrin::FailureStep::Output).step, kestrin::FailureStep::None);
        const kestrin::Failure marked =
            kestrin::Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), QStringLiteral("x")).at(kestrin::FailureStep::Output);
        QCOMPARE(marked.step, kestrin::FailureStep::Output);
        QCOMPARE(marked.path, QStringLiteral("x"));
    }
};

KESTRIN_TEST(BuildSpriteTest)
KESTRIN_TEST(FailureStepTest)
#include "tst_buildsprite.moc"
