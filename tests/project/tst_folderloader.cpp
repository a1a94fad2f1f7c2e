// The file-name rule, the name preview and loading numbered frames from a folder.
#include "project/filenamerule.h"
#include "project/folderloader.h"
#include "fixtures.h"
#include "specialfiles.h"
#include "testmain.h"
#include "project/framefailure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <fcntl.h>
#include <unistd.h>

using kestrin::FolderPattern;
using kestrin::FolderScan;
using kestrin::Project;
using kestrin::ScanMethod;

namespace {

// Each frame gets its own colour, so a frame loaded from the wrong file shows.
QRgb colourOf(int stage, int frame)
{
    return qRgb(stage * 20 % 256, frame * 7 % 256, 99);
}

bool writeFrame(const QString &path, int stage, int frame)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(colourOf(stage, frame));
    return image.save(path, "BMP");
}

FolderPattern source(const QString &folder, const QString &pattern = QStringLiteral("camera%1_%2.bmp"))
{
    FolderPattern p;
    p.folder = folder;
    p.pattern = pattern;
    return p;
}

QStringList pathsOf(const Project &project, quint32 stage)
{
    QStringList paths;
    for (const auto &frame : project.stages[stage]->frames)
        paths << frame->filePath;
    return paths;
}

QList<quint32> numbersOf(const FolderScan &scan)
{
    QList<quint32> numbers;
    for (const auto &stage : scan.stages)
        numbers << stage.number;
    return numbers;
}

/** Waits up to 10 seconds for `work`. If it is still blocked then (in an
 *  open of the FIFO `fifo`, which waits for a writer), releases it with a
 *  writer that comes and goes, and returns false. */
template <typename T>
bool finishedInTime(std::future<T> &work, const QString &fifo)
{
    if (work.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return true;
    const int fd = ::open(specialfiles::native(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    work.wait();
    return false;
}

} // namespace

class FolderLoaderTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString previousDir;

    QString at(const QString &relative) const { return dir.filePath(relative); }

    void writeStage(const QString &folder, int stage, std::initializer_list<int> frames)
    {
        for (int f : frames) {
            const QString name = kestrin::frameFileName(QStringLiteral("camera%1_%2.bmp"), stage, 2, f, 4);
            QVERIFY(writeFrame(at(folder + name), stage, f));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
    }

    void cleanupTestCase() { QDir::setCurrent(previousDir); }


    // ---- the file-name rule ------------------------------------------------

    void fileName_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<quint32>("stage");
        QTest::addColumn<int>("stageWidth");
        QTest::addColumn<quint32>("frame");
        QTest::addColumn<int>("frameWidth");
        QTest::addColumn<QString>("expected");
        const QString cam = QStringLiteral("camera%1_%2.bmp");
        QTest::newRow("defaults") << cam << 1u << 2 << 0u << 4 << "camera01_0000.bmp";
        QTest::newRow("width 2 pads 7") << cam << 7u << 2 << 5u << 4 << "camera07_0005.bmp";
        QTest::newRow("width 2 keeps 123") << cam << 123u << 2 << 12345u << 4 << "camera123_12345.bmp";
        QTest::newRow("width 0") << cam << 7u << 0 << 3u << 0 << "camera7_3.bmp";
        QTest::newRow("negative width pads right") << cam << 7u << -3 << 42u << -4 << "camera700_4200.bmp";
        QTest::newRow("largest number") << cam << 4294967295u << 2 << 0u << 1 << "camera4294967295_0.bmp";
        QTest::newRow("no frame marker") << "cam%1.bmp" << 3u << 2 << 9u << 4 << "cam03.bmp";
        QTest::newRow("no marker") << "still.bmp" << 3u << 2 << 9u << 4 << "still.bmp";
        QTest::newRow("markers 3 and 4") << "a%4_%3" << 1u << 2 << 2u << 3 << "a002_01";
        QTest::newRow("only %3") << "x%3.png" << 5u << 2 << 6u << 4 << "x05.png";
        QTest::newRow("lowest marker first") << "f%2_s%1" << 1u << 2 << 2u << 4 << "f0002_s01";
        QTest::newRow("every occurrence") << "%1/%1_%2" << 4u << 2 << 0u << 2 << "04/04_00";
        QTest::newRow("locale marker") << "%L1-%2" << 1234u << 0 << 5u << 0 << "1234-5";
        QTest::newRow("percent before marker") << "%%1_%2" << 2u << 2 << 7u << 1 << "7_7";
    }

    void fileName()
    {
        QFETCH(QString, pattern);
        QFETCH(quint32, stage);
        QFETCH(int, stageWidth);
        QFETCH(quint32, frame);
        QFETCH(int, frameWidth);
        QFETCH(QString, expected);
        QCOMPARE(kestrin::frameFileName(pattern, stage, stageWidth, frame, frameWidth), expected);
    }

    void markerScanAgreesWithQt_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *t : {"%1", "%0", "%99", "%100", "%L1", "%L", "%", "%%", "50%", "%a1", "abc", "", "x%L%",
                              "%L%1", "a%%b%"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }

    // Text without a marker is returned as it is, and without the console
    // warning QString::arg would print for it.
    void markerScanAgreesWithQt()
    {
        QFETCH(QString, text);
        static bool warned;
        warned = false;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) { warned = true; });
        const QString byQt = text.arg(QStringLiteral("7"), 3, QLatin1Char('0'));
        const bool qtWarned = warned;
        warned = false;
        const QString ours = kestrin::argNumber(text, 7, 3);
        const bool weWarned = warned;
        qInstallMessageHandler(previous);
        QCOMPARE(kestrin::hasArgMarker(text), !qtWarned);
        QCOMPARE(ours, byQt);
        QVERIFY(!weWarned);
    }

    void hugeWidthIsClamped()
    {
        const QString name = kestrin::argNumber(QStringLiteral("a%1"), 7, 2000000000);
        QCOMPARE(name.size(), 1 + kestrin::kMaxFieldWidth);
        QVERIFY(name.endsWith(QLatin1String("07")));
        QCOMPARE(kestrin::argNumber(QStringLiteral("%1"), 7, -2000000000).size(), kestrin::kMaxFieldWidth);
    }

    // ---- the preview -------------------------------------------------------

    void preview_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<quint32>("stageMin");
        QTest::addColumn<quint32>("stageMax");
        QTest::addColumn<quint32>("frameMin");
        QTest::addColumn<quint32>("frameMax");
        QTest::addColumn<QStringList>("firstNextLast");
        const QString cam = QStringLiteral("camera%1_%2.bmp");
        QTest::newRow("defaults") << cam << 1u << 99u << 0u << 9999u
                                  << QStringList{"camera01_0000.bmp", "camera01_0001.bmp", "camera99_9999.bmp"};
        QTest::newRow("frame min = max") << cam << 1u << 99u << 5u << 5u
                                         << QStringList{"camera01_0005.bmp", "camera02_0005.bmp", "camera99_0005.bmp"};
        QTest::newRow("one marker") << "cam%1.bmp" << 1u << 99u << 0u << 9999u
                                    << QStringList{"cam01.bmp", "cam01.bmp", "cam99.bmp"};
        QTest::newRow("next stage capped") << cam << 7u << 7u << 5u << 5u
                                           << QStringList{"camera07_0005.bmp", "camera07_0005.bmp", "camera07_0005.bmp"};
        // frameMin + 1 wraps to 0, which is not above frameMax.
        QTest::newRow("frame min wraps") << cam << 1u << 99u << 4294967295u << 9999u
                                         << QStringList{"camera01_4294967295.bmp", "camera01_0000.bmp",
                                                        "camera99_9999.bmp"};
        // stageMin + 1 wraps to 0, the smaller one.
        QTest::newRow("stage min wraps") << cam << 4294967295u << 4294967295u << 3u << 2u
                                         << QStringList{"camera4294967295_0003.bmp", "camera00_0002.bmp",
                                                        "camera4294967295_0002.bmp"};
        QTest::newRow("no %2, other marker kept") << "cam%1_%3.bmp" << 1u << 99u << 0u << 9999u
                                                 << QStringList{"cam01_%3.bmp", "cam01_%3.bmp", "cam99_%3.bmp"};
        // %2 without a lower marker names the frames of one stage; stage numbers are unused.
        QTest::newRow("only %2") << "walk_%2.png" << 1u << 99u << 1u << 9999u
                                 << QStringList{"walk_0001.png", "walk_0002.png", "walk_9999.png"};
        QTest::newRow("only %2, frame min = max") << "walk_%2.png" << 1u << 99u << 5u << 5u
                                                  << QStringList{"walk_0005.png", "walk_0005.png", "walk_0005.png"};
        QTest::newRow("%2 with %3") << "%3_%2" << 1u << 99u << 0u << 9999u
                                    << QStringList{"%3_0000", "%3_0001", "%3_9999"};
    }

    void preview()
    {
        QFETCH(QString, pattern);
        QFETCH(quint32, stageMin);
        QFETCH(quint32, stageMax);
        QFETCH(quint32, frameMin);
        QFETCH(quint32, frameMax);
        QFETCH(QStringList, firstNextLast);
        const kestrin::NamePreview names = kestrin::previewNames(pattern, stageMin, stageMax, 2, frameMin, frameMax, 4);
        QCOMPARE((QStringList{names.first, names.next, names.last}), firstNextLast);
    }

    // ---- existence -----------------------------------------------------------

    void fileExistsFollowsOpening()
    {
        QVERIFY(fixture::writeAll(at(QStringLiteral("exists.txt")), "x"));
        QVERIFY(kestrin::fileExists(at(QStringLiteral("exists.txt"))));
        QVERIFY(!kestrin::fileExists(at(QStringLiteral("absent.txt"))));
        QVERIFY(!kestrin::fileExists(QString()));
        QVERIFY(!kestrin::fileExists(at(QStringLiteral("exists.txt")) + QChar(0) + QStringLiteral("x")));
        const QString greek = at(QStringLiteral("\u03a9\u03bc\u03ad\u03b3\u03b1.txt"));
        QVERIFY(fixture::writeAll(greek, "x"));
        QVERIFY(kestrin::fileExists(greek));
    }

    void fileExistsNeverOpens_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("FIFO") << QStringLiteral("fifo") << true;
        QTest::newRow("device node") << QStringLiteral("node") << true;
        QTest::newRow("folder") << QStringLiteral("folder") << true;
        QTest::newRow("link to a file") << QStringLiteral("link") << true;
        QTest::newRow("link to nothing") << QStringLiteral("dangling") << false;
    }

    void fileExistsNeverOpens()
    {
        QFETCH(QString, name);
        const QString base = at(QStringLiteral("special/"));
        if (!QFileInfo::exists(base)) {
            QVERIFY(QDir().mkpath(base + QStringLiteral("folder")));
            QVERIFY(specialfiles::makeFifo(base + QStringLiteral("fifo")));
            QVERIFY(fixture::writeAll(base + QStringLiteral("file"), "x"));
            QCOMPARE(::symlink("file", specialfiles::native(base + QStringLiteral("link")).constData()), 0);
            QCOMPARE(::symlink("none", specialfiles::native(base + QStringLiteral("dangling")).constData()), 0);
        }
        if (name == QLatin1String("node") && !QFileInfo::exists(base + name)) {
            const QString refused = specialfiles::makeCharDevice(base + name, 1, 5);
            if (!refused.isEmpty())
                QSKIP(qPrintable(refused));
        }
        auto probe = std::async(std::launch::async, [&] { return kestrin::fileExists(base + name); });
        QVERIFY2(finishedInTime(probe, base + QStringLiteral("fifo")), "fileExists blocked on a FIFO");
        QTEST(probe.get(), "exists");
    }

    void fifoNamedLikeAFrameDoesNotBlockTheScan()
    {
        writeStage(QStringLiteral("fifo/"), 1, {0, 2});
        const QString fifo = at(QStringLiteral("fifo/camera01_0001.bmp"));
        QVERIFY(specialfiles::makeFifo(fifo));
        auto scan = std::async(std::launch::async, [&] { return kestrin::scanFolder(source(at(QStringLiteral("fifo/")))); });
        QVERIFY2(finishedInTime(scan, fifo), "the folder scan blocked on a FIFO named like a frame");
        const FolderScan result = scan.get();
        QCOMPARE(numbersOf(result), QList<quint32>{1});
        QCOMPARE(result.stages[0].framePaths.size(), 3); // the FIFO counts; loading it is what fails
    }

    // ---- loading -------------------------------------------------------------

    void twoStagesOfTwelve()
    {
        for (int s : {1, 2})
            for (int f = 0; f < 12; ++f)
                QVERIFY(writeFrame(at(QStringLiteral("twelve/camera%1_%2.bmp").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'))), s, f));
        Project project;
        QVERIFY(!kestrin::loadFolder(project, source(at(QStringLiteral("twelve/")))));
        QCOMPARE(project.stageCount, 2u);
        for (quint32 s = 0; s < 2; ++s) {
            QCOMPARE(project.stages[s]->frameCount, 12u);
            for (quint32 f = 0; f < 12; ++f) {
                const kestrin::Frame &frame = *project.stages[s]->frames[f];
                QCOMPARE(frame.filePath, at(QStringLiteral("twelve/camera%1_%2.bmp")
                                                .arg(s + 1, 2, 10, QLatin1Char('0'))
                                                .arg(f, 4, 10, QLatin1Char('0'))));
                QCOMPARE(frame.sourceImage.format(), QImage::Format_ARGB32);
                QCOMPARE(frame.sourceImage.pixel(0, 0), colourOf(int(s) + 1, int(f)));
            }
        }
    }

    void gapsAndMissingFirstFrames()
    {
        writeStage(QStringLiteral("gaps/"), 1, {0, 1, 3});
        writeStage(QStringLiteral("gaps/"), 2, {1, 2}); // no frame 0: the stage does not exist
        writeStage(QStringLiteral("gaps/"), 4, {0});
        Project project;
        QVERIFY(!kestrin::loadFolder(project, source(at(QStringLiteral("gaps/")))));
        QCOMPARE(project.stageCount, 2u);
        QCOMPARE(pathsOf(project, 0), (QStringList{at("gaps/camera01_0000.bmp"), at("gaps/camera01_0001.bmp"),
                                                   at("gaps/camera01_0003.bmp")}));
        QCOMPARE(pathsOf(project, 1), QStringList{at("gaps/camera04_0000.bmp")});
    }

    void ranges_data()
    {
        QTest::addColumn<quint32>("stageMin");
        QTest::addColumn<quint32>("stageMax");
        QTest::addColumn<quint32>("frameMin");
        QTest::addColumn<quint32>("frameMax");
        QTest::addColumn<QList<quint32>>("framesPerStage");
        QTest::newRow("defaults") << 1u << 99u << 0u << 9999u << QList<quint32>{3, 2, 1};
        QTest::newRow("bounds exclusive") << 1u << 3u << 0u << 2u << QList<quint32>{2, 2};
        QTest::newRow("stage max = min + 1") << 2u << 3u << 0u << 9999u << QList<quint32>{2};
        QTest::newRow("stage max = min") << 2u << 2u << 0u << 9999u << QList<quint32>{};
        QTest::newRow("stage min above max") << 5u << 2u << 0u << 9999u << QList<quint32>{};
        QTest::newRow("frame min = max") << 1u << 99u << 1u << 1u << QList<quint32>{0, 0, 0};
        QTest::newRow("frame min above max") << 1u << 99u << 2u << 1u << QList<quint32>{0, 0};
        QTest::newRow("stage 0 included") << 0u << 99u << 0u << 9999u << QList<quint32>{1, 3, 2, 1};
        QTest::newRow("huge stage max") << 1u << 4294967295u << 0u << 9999u << QList<quint32>{3, 2, 1, 1, 1};
        QTest::newRow("huge frame max") << 1u << 99u << 0u << 4294967295u << QList<quint32>{4, 2, 1};
        QTest::newRow("both huge") << 0u << 4294967295u << 0u << 4294967295u << QList<quint32>{1, 4, 2, 1, 1, 2};
        QTest::newRow("huge min, nothing") << 4294967295u << 4294967295u << 0u << 9999u << QList<quint32>{};
    }

    // Stage 0: frame 0; stage 1: 0, 1, 2 and 12345; stage 2: 0, 1; stage 3: 1, 2
    // (no frame 0); stage 7: 0; stage 123: 0; stage 4294967294: 0 and 4294967294.
    void ranges()
    {
        QFETCH(quint32, stageMin);
        QFETCH(quint32, stageMax);
        QFETCH(quint32, frameMin);
        QFETCH(quint32, frameMax);
        QFETCH(QList<quint32>, framesPerStage);
        const QString folder = QStringLiteral("ranges/");
        writeStage(folder, 0, {0});
        writeStage(folder, 1, {0, 1, 2, 12345});
        writeStage(folder, 2, {0, 1});
        writeStage(folder, 3, {1, 2});
        writeStage(folder, 7, {0});
        writeStage(folder, 123, {0});
        QVERIFY(writeFrame(at(folder + "camera4294967294_0000.bmp"), 9, 0));
        QVERIFY(writeFrame(at(folder + "camera4294967294_4294967294.bmp"), 9, 1));
        QVERIFY(fixture::writeAll(at(folder + "camera4294967295_0000.bmp"), "never probed: outside every range"));

        FolderPattern p = source(at(folder));
        p.stageMin = stageMin;
        p.stageMax = stageMax;
        p.frameMin = frameMin;
        p.frameMax = frameMax;
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, p);
        QCOMPARE(failure.kind, framesPerStage.isEmpty() ? kestrin::FailureKind(kestrin::FrameFailure::NoStagesFound) : kestrin::FailureKind());
        QList<quint32> counts;
        for (const auto &stage : project.stages)
            counts << stage->frameCount;
        QCOMPARE(counts, framesPerStage);
    }

    void corruptFileStopsTheLoad()
    {
        const QString folder = QStringLiteral("corrupt/");
        writeStage(folder, 1, {0, 1});
        writeStage(folder, 2, {0, 2});
        QVERIFY(fixture::writeAll(at(folder + "camera02_0001.bmp"), "not an image"));
        writeStage(folder, 3, {0});
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, source(at(folder)));
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(failure.path, at(folder + "camera02_0001.bmp"));
        QCOMPARE(project.stageCount, 2u);
        QCOMPARE(project.stages[0]->frameCount, 2u);
        QCOMPARE(project.stages[1]->frameCount, 2u);
        const kestrin::Frame &failed = *project.stages[1]->frames[1];
        QVERIFY(failed.filePath.isEmpty());
        QVERIFY(failed.sourceImage.isNull() && failed.workImage.isNull());
    }

    void imageTooLargeIsRefused()
    {
        const QString folder = QStringLiteral("huge/");
        writeStage(folder, 1, {0});
        QVERIFY(fixture::writeAll(at(folder + "camera01_0001.bmp"), fixture::bmpHeader(40000, 40000)));
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, source(at(folder)));
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(failure.path, at(folder + "camera01_0001.bmp"));
        QCOMPARE(project.stages[0]->frameCount, 2u);
        QVERIFY(project.stages[0]->frames[1]->sourceImage.isNull());
    }

    // A name the pattern matches that cannot be read ends the load naming it
    // and the system's reason: never a shorter stage. Permissions do not bind
    // root; the command-line suite runs those cases in an unprivileged child.
    void unreadableNameFailsTheLoad_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("needsNonRoot");
        QTest::newRow("link to nothing") << "dangling" << "symbolic link to a file that does not exist" << false;
        QTest::newRow("loop of links") << "loop" << "Too many levels of symbolic links" << false;
        QTest::newRow("file without read permission") << "mode000" << "Permission denied" << true;
        QTest::newRow("stage folder without search permission") << "folder" << "Permission denied" << true;
    }
    void unreadableNameFailsTheLoad()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QFETCH(bool, needsNonRoot);
        if (needsNonRoot && geteuid() == 0)
            QSKIP("root reads every file; tests/cli covers this in an unprivileged child");
        const QString folder = at(QStringLiteral("unreadable-%1/").arg(kind));
        const bool inFolders = kind == QLatin1String("folder");
        const FolderPattern p = source(folder, inFolders ? QStringLiteral("s%1/camera%2.bmp") : QStringLiteral("camera%1_%2.bmp"));
        const auto name = [&](int s, int f) { return folder + kestrin::frameFileName(p.pattern, s, 2, f, 4); };
        for (int f = 0; f < 2; ++f)
            QVERIFY(writeFrame(name(1, f), 1, f));
        QString bad = name(1, 2);
        if (kind == QLatin1String("dangling")) {
            QCOMPARE(::symlink("nothing.bmp", specialfiles::native(bad).constData()), 0);
        } else if (kind == QLatin1String("loop")) {
            QCOMPARE(::symlink("camera01_0002.bmp", specialfiles::native(bad).constData()), 0);
        } else if (kind == QLatin1String("mode000")) {
            QVERIFY(writeFrame(bad, 1, 2));
            QVERIFY(QFile::setPermissions(bad, QFileDevice::Permissions()));
        } else {
            QVERIFY(writeFrame(name(2, 0), 2, 0));
            QVERIFY(QFile::setPermissions(folder + "s02", QFileDevice::ReadOwner));
            bad = name(2, 0);
        }
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, p);
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(failure.path, bad);
        QVERIFY2(failure.reason.contains(reason), qPrintable(failure.reason));
        if (inFolders)
            QVERIFY(QFile::setPermissions(folder + "s02", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // What a reader cannot decode, root included: a FIFO or a folder in place
    // of a frame file stops the load there, without waiting on the FIFO.
    void specialEntryStopsTheLoad_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("folder") << false;
    }
    void specialEntryStopsTheLoad()
    {
        QFETCH(bool, fifo);
        const QString folder = QStringLiteral("special-%1/").arg(QTest::currentDataTag());
        writeStage(folder, 1, {0, 2});
        const QString entry = at(folder + "camera01_0001.bmp");
        QVERIFY(fifo ? specialfiles::makeFifo(entry) : QDir().mkpath(entry));
        Project project;
        auto load = std::async(std::launch::async, [&] { return kestrin::loadFolder(project, source(at(folder))); });
        QVERIFY2(finishedInTime(load, entry), "the load blocked on a FIFO named like a frame");
        const kestrin::Failure failure = load.get();
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(failure.path, entry);
        QVERIFY2(failure.reason.contains(fifo ? QStringLiteral("FIFO") : QStringLiteral("folder")),
                 qPrintable(failure.reason));
        QCOMPARE(project.stages[0]->frameCount, 2u);
    }

    // What a pattern's markers mean: %1 and %2 as always, %2 alone for one
    // numbered sequence, no %2 refused before the folder is looked at, and two
    // frames that would share a file refused naming it.
    void patternShapes_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("width"); // stage and frame width
        QTest::addColumn<kestrin::FailureKind>("kind");
        QTest::addColumn<QString>("failurePath"); // relative to the case's folder, or the pattern
        QTest::addColumn<QList<QStringList>>("stages");
        using K = kestrin::FailureKind;
        QTest::newRow("both markers") << "c%1_%2.bmp" << QStringList{"c1_0.bmp", "c1_1.bmp", "c2_0.bmp"} << 0 << K()
                                      << "" << QList<QStringList>{{"c1_0.bmp", "c1_1.bmp"}, {"c2_0.bmp"}};
        QTest::newRow("only %2, from 1") << "walk_%2.png"
                                         << QStringList{"walk_0001.png", "walk_0002.png", "walk_0004.png"} << 4
                                         << K() << ""
                                         << QList<QStringList>{{"walk_0001.png", "walk_0002.png", "walk_0004.png"}};
        QTest::newRow("only %2, nothing") << "walk_%2.png" << QStringList{"walk.png"} << 4 << K(kestrin::FrameFailure::NoStagesFound) << ""
                                          << QList<QStringList>{};
        QTest::newRow("only %1") << "cam%1.bmp" << QStringList{"cam01.bmp"} << 2 << K(kestrin::FrameFailure::NoFrameNumber) << "cam%1.bmp"
                                 << QList<QStringList>{};
        QTest::newRow("no marker") << "still.bmp" << QStringList{"still.bmp"} << 2 << K(kestrin::FrameFailure::NoFrameNumber) << "still.bmp"
                                   << QList<QStringList>{};
        QTest::newRow("%25 is no %2") << "c%1_%25.bmp" << QStringList{} << 2 << K(kestrin::FrameFailure::NoFrameNumber) << "c%1_%25.bmp"
                                      << QList<QStringList>{};
        // Stage 1 frame 10 and stage 11 frame 0 are both a110.bmp.
        QTest::newRow("numbers run together")
            << "a%1%2.bmp" << QStringList{"a10.bmp", "a111.bmp", "a110.bmp"} << 0 << K(kestrin::FrameFailure::NameRepeats) << "a110.bmp"
            << QList<QStringList>{};
    }

    void patternShapes()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, files);
        QFETCH(int, width);
        QFETCH(kestrin::FailureKind, kind);
        QFETCH(QString, failurePath);
        QFETCH(QList<QStringList>, stages);
        const QString folder = at(QStringLiteral("shapes/%1/").arg(QTest::currentDataTag()));
        for (const QString &file : files)
            QVERIFY(writeFrame(folder + file, 1, 0));
        FolderPattern p = source(folder, pattern);
        p.stageWidth = p.frameWidth = width;
        p.frameMax = 200;
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, p);
        QCOMPARE(failure.kind, kind);
        if (kind == kestrin::FailureKind(kestrin::FrameFailure::NoFrameNumber))
            QCOMPARE(failure.path, pattern);
        else if (!failurePath.isEmpty())
            QCOMPARE(failure.path, folder + failurePath);
        QCOMPARE(project.stageCount, quint32(stages.size()));
        for (quint32 s = 0; s < project.stageCount; ++s) {
            QStringList expected;
            for (const QString &name : stages[int(s)])
                expected << folder + name;
            QCOMPARE(pathsOf(project, s), expected);
        }
    }

    void nonLatin1FolderName()
    {
        const QString folder = QStringLiteral("\u041a\u0430\u0434\u0440\u044b \u03a9/");
        writeStage(folder, 1, {0, 1});
        Project project;
        QVERIFY(!kestrin::loadFolder(project, source(at(folder))));
        QCOMPARE(project.stageCount, 1u);
        QCOMPARE(pathsOf(project, 0).value(1), at(folder + "camera01_0001.bmp"));
    }

    void missingFolderFindsNothing()
    {
        Project project;
        for (const QString &folder : {at(QStringLiteral("nowhere/")), QStringLiteral("Load frames from folder...")}) {
            const kestrin::Failure failure = kestrin::loadFolder(project, source(folder));
            QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::NoStagesFound));
            QCOMPARE(failure.path, folder);
            QCOMPARE(failure.reason, QStringLiteral("no stage number from 1 up to 99 (exclusive) has a file for "
                                                    "frame number 0; the first name tried was camera01_0000.bmp"));
        }
        QCOMPARE(project.stageCount, 0u);
    }

    void appendsToWhatIsThere()
    {
        writeStage(QStringLiteral("append/"), 1, {0});
        Project project;
        project.appendStage();
        QVERIFY(!kestrin::loadFolder(project, source(at(QStringLiteral("append/")))));
        QCOMPARE(project.stageCount, 2u);
        FolderPattern none = source(at(QStringLiteral("append/")));
        none.stageMax = none.stageMin;
        QVERIFY(!kestrin::loadFolder(project, none)); // stages exist, so no "No stages found!"
    }

    // ---- huge ranges: listing the folder gives what probing every number gives

    void scanMatchesProbingEveryNumber_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("stageWidth");
        QTest::addColumn<int>("frameWidth");
        QTest::addColumn<quint32>("frameMin");
        QTest::addColumn<int>("expectedStages");
        QTest::addColumn<bool>("wholeRangeRefused");
        // Left-aligned numbers run into each other ("10" for 1 and for 10): such
        // patterns are refused by both methods, naming the same file.
        QTest::addColumn<bool>("repeats");
        const QString cam = QStringLiteral("camera%1_%2.bmp");
        QTest::newRow("defaults") << "mixed/" << cam << 2 << 4 << 0u << 6 << false << false;
        QTest::newRow("folder ends inside a name") << "mixed/cam" << "era%1_%2.bmp" << 2 << 4 << 0u << 6 << false << false;
        QTest::newRow("width 0") << "mixed/" << cam << 0 << 0 << 0u << 5 << false << false;
        QTest::newRow("width 1") << "mixed/" << cam << 1 << 1 << 0u << 5 << false << false;
        QTest::newRow("negative widths") << "mixed/" << cam << -2 << -4 << 0u << 4 << false << true;
        QTest::newRow("frame min 1") << "mixed/" << cam << 2 << 4 << 1u << 2 << false << false;
        QTest::newRow("markers swapped") << "mixed/" << "camera%2_%1.bmp" << 4 << 2 << 0u << 1 << false << false;
        QTest::newRow("stage folders") << "mixed/" << "dir%1/f%2.png" << 1 << 0 << 0u << 3 << false << false;
        QTest::newRow("stage number twice") << "mixed/" << "dir%1/s%1_%2.png" << 1 << 0 << 0u << 1 << false << false;
        QTest::newRow("percent before marker") << "mixed/" << "p%%1_%2.bmp" << 1 << 1 << 0u << 4 << true << true;
        QTest::newRow("only %2") << "mixed/" << "cam%2.bmp" << 0 << 0 << 0u << 1 << false << false;
        QTest::newRow("upper case on disk") << "mixed/" << "CAMERA%1_%2.BMP" << 2 << 4 << 0u << 0 << false << false;
    }

    // Ranges longer than the probing threshold make the scan list the folder;
    // the result must be the one of opening every file.
    void scanMatchesProbingEveryNumber()
    {
        QFETCH(QString, folder);
        QFETCH(QString, pattern);
        QFETCH(int, stageWidth);
        QFETCH(int, frameWidth);
        QFETCH(quint32, frameMin);
        QFETCH(int, expectedStages);
        QFETCH(bool, wholeRangeRefused);
        QFETCH(bool, repeats);
        const QString base = QStringLiteral("mixed/");
        for (const char *name :
             {"camera01_0000.bmp", "camera01_0001.bmp", "camera01_0010.bmp", "camera01_0100.bmp", "camera01_1000.bmp",
              "camera02_0000.bmp", "camera02_0002.bmp", "camera02_9999.bmp", "camera2_0.bmp", "camera2_1.bmp",
              "camera20_0000.bmp", "camera200_0000.bmp", "camera20_00.bmp", "camera1_0.bmp", "camera10_0.bmp",
              "camera100_0.bmp", "camera100_1.bmp", "camera0_0.bmp", "camera00_0000.bmp", "camera03_0001.bmp",
              "camera0001_01.bmp", "camera0002_01.bmp", "camera0001_00.bmp", "camera01_00000.bmp",
              "camera01_12345.bmp", "camera01_0x01.bmp", "camera1_5", "p%1_1.bmp", "p1_0.bmp", "p1_1.bmp",
              "p2_2.bmp", "p3_3.bmp", "p0_0.bmp", "p0_%2.bmp", "p%3_0.bmp", "cam5.bmp", "cam50.bmp", "cam5x.bmp", "a very long unrelated "
              "file name that is longer than every frame name.txt", "dir1/f0.png", "dir1/f7.png", "dir1/s1_0.png",
              "dir1/s1_3.png", "dir2/f0.png", "dir3/f1.png", "dir10/f0.png"}) {
            const QString path = at(base + QString::fromLatin1(name));
            QDir().mkpath(QFileInfo(path).absolutePath());
            QVERIFY(fixture::writeAll(path, "x"));
        }
        QVERIFY(QDir().mkpath(at(base + "camera07_0000.bmp"))); // a folder opens like a file

        FolderPattern p;
        p.folder = at(folder);
        p.pattern = pattern;
        p.stageWidth = stageWidth;
        p.frameWidth = frameWidth;
        p.stageMin = 0;
        p.stageMax = 250;
        p.frameMin = frameMin;
        p.frameMax = 13000;
        const FolderScan probed = kestrin::scanFolder(p, ScanMethod::ProbeEach);
        const FolderScan listed = kestrin::scanFolder(p, ScanMethod::Auto);
        if (repeats) {
            QCOMPARE(probed.failure.kind, kestrin::FailureKind(kestrin::FrameFailure::NameRepeats));
            QCOMPARE(listed.failure.path, probed.failure.path);
            QVERIFY(probed.stages.isEmpty() && listed.stages.isEmpty());
            return;
        }
        QVERIFY(!probed.failure && !listed.failure);
        QCOMPARE(numbersOf(listed), numbersOf(probed));
        for (qsizetype i = 0; i < probed.stages.size(); ++i)
            QCOMPARE(listed.stages[i].framePaths, probed.stages[i].framePaths);
        QCOMPARE(probed.stages.size(), expectedStages);

        // The whole 32-bit range finds the same numbers within the small one,
        // plus what lies beyond it.
        p.stageMax = 4294967295u;
        p.frameMax = 4294967295u;
        const FolderScan whole = kestrin::scanFolder(p);
        QCOMPARE(bool(whole.failure), wholeRangeRefused);
        if (wholeRangeRefused)
            return;
        QList<quint32> below;
        for (quint32 n : numbersOf(whole)) {
            if (n < 250)
                below << n;
        }
        QCOMPARE(below, numbersOf(probed));
        for (qsizetype i = 0; i < probed.stages.size(); ++i) {
            const QStringList all = whole.stages[i].framePaths;
            QCOMPARE(all.mid(0, probed.stages[i].framePaths.size()), probed.stages[i].framePaths);
        }
    }

    void refusedRanges_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<quint32>("stageMax");
        QTest::addColumn<quint32>("frameMax");
        QTest::addColumn<kestrin::FailureKind>("kind");
        QTest::addColumn<QString>("path"); // relative to the test folder
        QTest::newRow("only %2, huge frame range is listed") << "cam01_%2.bmp" << 99u << 4294967295u
                                                             << kestrin::FailureKind(kestrin::FrameFailure::NoStagesFound) << "refuse/";
        QTest::newRow("percent before marker, huge") << "p%%1_%2.bmp" << 4294967295u << 9999u
                                                     << kestrin::FailureKind(kestrin::FrameFailure::RangeTooLarge) << "refuse/p%%1_%2.bmp";
    }

    // Ranges that would exhaust memory or take hours are refused with a
    // message, and nothing is loaded.
    void refusedRanges()
    {
        QFETCH(QString, pattern);
        QFETCH(quint32, stageMax);
        QFETCH(quint32, frameMax);
        QFETCH(kestrin::FailureKind, kind);
        QFETCH(QString, path);
        QVERIFY(writeFrame(at(QStringLiteral("refuse/still.bmp")), 0, 0));
        QVERIFY(writeFrame(at(QStringLiteral("refuse/cam01.bmp")), 0, 0));
        QVERIFY(writeFrame(at(QStringLiteral("refuse/p1_0.bmp")), 0, 0));
        FolderPattern p = source(at(QStringLiteral("refuse/")), pattern);
        p.stageMax = stageMax;
        p.frameMax = frameMax;
        Project project;
        const kestrin::Failure failure = kestrin::loadFolder(project, p);
        QCOMPARE(failure.kind, kind);
        QCOMPARE(failure.path, at(path));
        QCOMPARE(project.stageCount, 0u);
    }

};

KESTRIN_TEST(FolderLoaderTest)
#include "tst_folderloader.moc"
