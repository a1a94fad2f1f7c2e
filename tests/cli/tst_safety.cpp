// kestrin-art never loses data: unreadable frames fail the job, outputs
// never touch inputs, a job's outputs are all-or-nothing, every stream is
// checked, names are taken byte for byte. Permission cases run in an
// unprivileged child (nobody) when the suite runs as root.
#include "clifixtures.h"
#include "specialfiles.h"
#include "testmain.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace clifixture;
using namespace specialfiles;

namespace {

constexpr uid_t kNobody = 65534;

/** Runs kestrin-art; `unprivileged` drops to nobody when running as root,
 *  `setup` runs in the child before it starts (redirections, limits). */
Run runArt(const QStringList &arguments, bool unprivileged = false, const std::function<void()> &setup = {})
{
    QProcess process;
    process.setProgram(QStringLiteral(KESTRIN_ART));
    process.setArguments(arguments);
    process.setChildProcessModifier([unprivileged, setup] {
        if (unprivileged && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(99);
        if (setup)
            setup();
    });
    process.start();
    return finish(process, 60000);
}

/** Every file directly in `dir` with its bytes (links read through). */
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
        files.insert(name, readAll(dir + QLatin1Char('/') + name));
    return files;
}

/** Runs kestrin-art with arguments given as printf %b escapes ("\\0377"),
 *  so that bytes a QString cannot hold reach it as they are. */
Run runArtBytes(const QStringList &escaped)
{
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments(QStringList{"-c", "for a; do set -- \"$@\" \"$(printf '%bx' \"$a\")\"; shift; "
                                           "set -- \"$@\"; done; "
                                           "for a; do set -- \"$@\" \"${a%x}\"; shift; done; exec \"$0\" \"$@\"",
                                     QStringLiteral(KESTRIN_ART)}
                         + escaped);
    process.start();
    return finish(process, 60000);
}

QString frameName(int s, int f)
{
    return QStringLiteral("camera%1_%2.bmp").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
}

} // namespace

class CliSafetyTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString at(const QString &name) const { return m_dir.filePath(name); }

    /** Writes `stages` stages of 3 frames into a folder anyone may read and write. */
    static bool frames(const QString &folder, int stages = 1)
    {
        const bool ok = writeFrames(folder, QStringLiteral("camera%1_%2.bmp"), QList<int>{1, 2, 3}.mid(0, stages),
                                    [](int) { return 3; });
        return ok && ::chmod(native(folder).constData(), 0777) == 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ::chmod(native(m_dir.path()).constData(), 0777);
    }

    // Rule: a frame that is there but cannot be read fails the job naming it
    // and the system's reason; nothing is written.
    void unreadableFrameFailsTheBuild_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("frame without read permission") << "file";
        QTest::newRow("stage folder without search permission") << "folder";
        QTest::newRow("link to nothing") << "dangling";
    }
    void unreadableFrameFailsTheBuild()
    {
        QFETCH(QString, kind);
        const QString folder = at(QStringLiteral("unreadable-") + kind);
        QStringList pattern;
        QString bad;
        if (kind == QLatin1String("folder")) {
            for (int s = 1; s <= 2; ++s) {
                QVERIFY(QDir().mkpath(folder + QStringLiteral("/s%1").arg(s, 2, 10, QLatin1Char('0'))));
                for (int f = 0; f < 2; ++f)
                    QVERIFY(frame(s, f).save(folder + QStringLiteral("/s%1/camera%2.bmp").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'))));
            }
            ::chmod(native(folder).constData(), 0777);
            QCOMPARE(::chmod(native(folder + "/s02").constData(), 0600), 0);
            pattern << "--pattern" << "s%1/camera%2.bmp";
            bad = folder + "/s02/camera0000.bmp";
        } else {
            QVERIFY(frames(folder));
            bad = folder + QLatin1Char('/') + frameName(1, 1);
            QVERIFY(QFile::remove(bad));
            if (kind == QLatin1String("file")) {
                QVERIFY(frame(1, 1).save(bad));
                QCOMPARE(::chmod(native(bad).constData(), 0), 0);
            } else {
                QCOMPARE(::symlink("gone.bmp", native(bad).constData()), 0);
            }
        }
        const QString target = folder + "/out.art";
        const QString depfile = folder + "/out.d";
        const Run r = runArt(QStringList{"build", folder, "-o", target, "--depfile", depfile} + pattern, true);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(bad + ": "), qPrintable(r.err));
        QVERIFY2(r.err.contains(kind == QLatin1String("dangling") ? "does not exist" : "Permission denied"),
                 qPrintable(r.err));
        QVERIFY(!r.out.contains("successful"));
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(depfile));
    }

    // Rule: an output that is an input (by name, symbolic or hard link) or
    // the other output is a usage error naming both, and nothing is written.
    void outputsNeverTouchInputs_data()
    {
        QTest::addColumn<QString>("target");  // in the folder; "@x" makes x a symbolic link to the next field
        QTest::addColumn<QString>("depfile"); // "" for none
        QTest::addColumn<QString>("link");    // "sym:NAME->TO" or "hard:NAME->TO" made first, "" for none
        QTest::addColumn<QString>("named");   // what the message must name as the other file
        QTest::newRow("depfile is the target") << "out.art" << "out.art" << "" << "-o target";
        QTest::newRow("depfile links to the target") << "out.art" << "dep.d" << "sym:dep.d->out.art" << "-o target";
        QTest::newRow("depfile and a new target, one place")
            << "new.art" << "./new.art" << "" << "-o target";
        QTest::newRow("target is a frame") << "camera01_0001.bmp" << "" << "" << "frame file";
        QTest::newRow("target is a hard link to a frame")
            << "hard.art" << "" << "hard:hard.art->camera01_0002.bmp" << "frame file";
        QTest::newRow("depfile links to a frame")
            << "out.art" << "dep.d" << "sym:dep.d->camera01_0000.bmp" << "frame file";
        QTest::newRow("target is the palette file") << "pal.gpl" << "" << "" << "--palette file";
    }
    void outputsNeverTouchInputs()
    {
        QFETCH(QString, target);
        QFETCH(QString, depfile);
        QFETCH(QString, link);
        QFETCH(QString, named);
        const QString folder = at(QStringLiteral("collide-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(frames(folder));
        QVERIFY(writeAll(folder + "/out.art", "old sprite"));
        QVERIFY(writeAll(folder + "/pal.gpl", "GIMP Palette\n0 0 0\n255 255 255\n"));
        if (!link.isEmpty()) {
            const QStringList parts = link.mid(link.indexOf(':') + 1).split("->");
            const QByteArray from = native(folder + '/' + parts[0]);
            if (link.startsWith("sym"))
                QCOMPARE(::symlink(native(parts[1]).constData(), from.constData()), 0);
            else
                QCOMPARE(::link(native(folder + '/' + parts[1]).constData(), from.constData()), 0);
        }
        const auto before = snapshot(folder);
        QStringList args{"build", folder, "-o", folder + '/' + target, "--palette", folder + "/pal.gpl"};
        if (!depfile.isEmpty())
            args << "--depfile" << folder + '/' + depfile;
        const Run r = runArt(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(named) && r.err.contains("is the same file as"), qPrintable(r.err));
        QCOMPARE(snapshot(folder), before);
    }

    // Rule: a job's outputs are all-or-nothing. A depfile that cannot be
    // written (a name no rule can hold, a missing folder, a full disk) fails
    // the job before the target is replaced, and success is never printed.
    void failedDepfileKeepsTheTarget_data()
    {
        QTest::addColumn<QString>("target");  // relative to the job's folder
        QTest::addColumn<QString>("depfile"); // likewise
        QTest::addColumn<QString>("reason");
        QTest::newRow("line break in the target name") << "new\nx.art" << "dep.d" << "line break";
        QTest::newRow("missing folder") << "out.art" << "no/such/dep.d" << "No such file or directory";
        QTest::newRow("full disk") << "out.art" << "full/dep.d" << "No space left on device";
    }
    void failedDepfileKeepsTheTarget()
    {
        QFETCH(QString, target);
        QFETCH(QString, depfile);
        QFETCH(QString, reason);
        const QString folder = at(QStringLiteral("depfail-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(frames(folder));
        QVERIFY(writeAll(folder + "/out.art", "old sprite"));
        std::unique_ptr<TmpfsMount> mount;
        if (depfile.startsWith("full/")) {
            mount = std::make_unique<TmpfsMount>(folder + "/full", 64 * 1024);
            if (!mount->mounted())
                QSKIP(qPrintable(mount->error()));
            QVERIFY(fillUp(folder + "/full/filler"));
        }
        const auto before = snapshot(folder);
        const Run r = runArt({"build", folder, "-o", folder + '/' + target, "--depfile", folder + '/' + depfile});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        QVERIFY(!r.out.contains("successful"));
        QCOMPARE(snapshot(folder), before);
    }

    // Rule: every write to standard output is checked like a file write: a
    // full device, a closed stream or a broken pipe (SIGPIPE ignored) is exit
    // 1 with the system's reason; with SIGPIPE at its default, a command that
    // writes only standard output dies of it, as other tools do.
    void standardOutputIsChecked_data()
    {
        QTest::addColumn<QString>("command"); // info, info-json, build-json, build-stdout, extract, version
        QTest::addColumn<QString>("stdoutIs"); // full, closed, broken, broken-default
        QTest::addColumn<QString>("reason");   // "" for a death by SIGPIPE
        for (const char *command : {"info", "info-json", "build-json", "build-stdout", "extract", "version"}) {
            QTest::addRow("%s, full device", command) << command << "full" << "No space left on device";
            QTest::addRow("%s, broken pipe", command) << command << "broken" << "Broken pipe";
        }
        QTest::newRow("info, closed") << "info" << "closed" << "standard output: cannot write: Bad file descriptor";
        QTest::newRow("build-stdout, closed") << "build-stdout" << "closed" << "standard output is closed";
        QTest::newRow("info, broken pipe, SIGPIPE default") << "info" << "broken-default" << "";
        // The version comes from the executable alone, which checks its write the same way.
        QTest::newRow("version, closed") << "version" << "closed" << "standard output: cannot write: Bad file descriptor";
        QTest::newRow("version, broken pipe, SIGPIPE default") << "version" << "broken-default" << "";
    }
    void standardOutputIsChecked()
    {
        QFETCH(QString, command);
        QFETCH(QString, stdoutIs);
        QFETCH(QString, reason);
        const QString folder = at(QStringLiteral("stdout"));
        if (!QFile::exists(folder + "/sprite.art")) {
            QVERIFY(frames(folder));
            QCOMPARE(runArt({"build", folder, "-o", folder + "/sprite.art", "-q"}).exitCode, 0);
        }
        const QString full = folder + "/full";
        if (stdoutIs == QLatin1String("full") && typeOf(full) != 'c') {
            const QString refused = makeCharDevice(full, 1, 7);
            if (!refused.isEmpty())
                QSKIP(qPrintable(refused));
        }
        QStringList args;
        if (command.startsWith("info"))
            args << "info" << folder + "/sprite.art";
        if (command == QLatin1String("info-json"))
            args << "--json";
        if (command == QLatin1String("build-json"))
            args << "build" << folder << "-o" << folder + "/again.art" << "--json";
        if (command == QLatin1String("build-stdout"))
            args << "build" << folder << "-o" << "-";
        if (command == QLatin1String("extract"))
            args << "extract" << folder + "/sprite.art" << folder + "/frames";
        if (command == QLatin1String("version"))
            args << "--version";
        const QByteArray fullPath = native(full);
        const Run r = runArt(args, false, [stdoutIs, fullPath] {
            if (stdoutIs == QLatin1String("full")) {
                const int fd = ::open(fullPath.constData(), O_WRONLY);
                ::dup2(fd, STDOUT_FILENO);
            } else if (stdoutIs == QLatin1String("closed")) {
                ::close(STDOUT_FILENO);
            } else {
                int pipeFds[2];
                if (::pipe(pipeFds) == 0) {
                    ::close(pipeFds[0]);
                    ::dup2(pipeFds[1], STDOUT_FILENO);
                }
                ::signal(SIGPIPE, stdoutIs == QLatin1String("broken") ? SIG_IGN : SIG_DFL);
            }
        });
        if (reason.isEmpty()) {
            QCOMPARE(r.exitCode, -1); // killed by SIGPIPE
            return;
        }
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
    }

    // Rule: a name reaches the file system byte for byte, or the job is
    // refused up front naming it; names are printed escaped, so one cannot
    // forge a line of its own.
    void namesAreExact_data()
    {
        QTest::addColumn<QStringList>("args"); // after "build"; F is the frames folder, printf %b escapes
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // on standard error
        QTest::newRow("target not UTF-8") << QStringList{"F", "-o", "F/out\\0377.art"} << 2 << "out\\xff.art";
        QTest::newRow("folder not UTF-8") << QStringList{"F\\0376", "-o", "F/a.art"} << 2 << "\\xfe";
        QTest::newRow("pattern not UTF-8")
            << QStringList{"F", "-o", "F/a.art", "--pattern", "c\\0377%1_%2.bmp"} << 2 << "c\\xff%1";
        QTest::newRow("line break in a folder name")
            << QStringList{"F/no\\nkestrin-art: Generation successful!", "-o", "F/a.art"} << 1
            << "no\\nkestrin-art: Generation successful!: no such folder";
        QTest::newRow("UTF-8 target, byte for byte") << QStringList{"F", "-o", "F/\\0303\\0251.art"} << 0 << "";
    }
    void namesAreExact()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const QString folder = at(QStringLiteral("names-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(frames(folder));
        for (QString &arg : args)
            arg.replace(QRegularExpression("^F"), folder);
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const Run r = runArtBytes(QStringList{"build"} + args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(printed), qPrintable(r.err));
        for (const QString &line : r.err.split('\n'))
            QVERIFY2(!line.startsWith("kestrin-art: Generation successful!"), qPrintable(r.err));
        const QStringList after = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (exitCode == 0)
            QCOMPARE(after, before + QStringList{QStringLiteral("\u00e9.art")});
        else
            QCOMPARE(after, before);
    }

    // Rule: a depfile names every file so that GNU make and ninja both read
    // it back: what can be quoted is, and a name holding a character neither
    // quoting carries refuses the job up front, naming the character.
    void depfilesReadBackByMakeAndNinja_data()
    {
        QTest::addColumn<QString>("frameText"); // put into every frame's name
        QTest::addColumn<QString>("targetName");
        QTest::addColumn<QString>("refused"); // how the message names the character; "" when quoted
        for (const char *c : {" ", "#", "$", ":", "\\", "(", "[", "!", "@", "+", ",", "~", "{"})
            QTest::addRow("frames with '%s'", c) << QString::fromLatin1(c) << "o.art" << "";
        QTest::newRow("target with ':'") << "" << "o:t.art" << "";
        for (const char *c : {";", "|", "=", "\"", "&", "'", "*", "<", ">", "?", "^", "`"})
            QTest::addRow("frames with '%s'", c) << QString::fromLatin1(c) << "o.art" << QStringLiteral("'%1'").arg(c);
        QTest::newRow("frames with a tab") << "\t" << "o.art" << "a tab";
        QTest::newRow("target with '%'") << "" << "o%t.art" << "'%'";
    }
    void depfilesReadBackByMakeAndNinja()
    {
        QFETCH(QString, frameText);
        QFETCH(QString, targetName);
        QFETCH(QString, refused);
        static int row = 0;
        const QString folder = at(QStringLiteral("dep%1").arg(++row));
        const QString pattern = QStringLiteral("c") + frameText + QStringLiteral("%1_%2.bmp");
        QVERIFY(writeFrames(folder, pattern, {1}, [](int) { return 2; }));
        const QString frame0 = folder + '/' + QString(pattern).replace("%1", "01").replace("%2", "0000");
        QVERIFY2(QFile::exists(frame0), qPrintable(frame0));
        const Run r = runArt({"build", folder, "--pattern", pattern, "-o", folder + '/' + targetName, "--depfile",
                              folder + "/o.d", "-q"});
        if (!refused.isEmpty()) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("holds " + refused), qPrintable(r.err));
            QVERIFY(!QFile::exists(folder + '/' + targetName));
            QVERIFY(!QFile::exists(folder + "/o.d"));
            return;
        }
        QCOMPARE(r.exitCode, 0);
        const auto setTime = [&](const QString &path, int seconds) {
            const QDateTime when = QDateTime::currentDateTime().addSecs(seconds);
            QFile file(path);
            return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
        };
        QVERIFY(setTime(frame0, -100));
        QVERIFY(setTime(folder + "/c" + frameText + "01_0001.bmp", -100));
        // make: a match-anything rule gives the target a recipe; -q answers
        // whether it is up to date.
        QVERIFY(writeAll(folder + "/Makefile", "include o.d\n%:: ; @echo remake $@\n"));
        QString ninjaTarget = folder + '/' + targetName; // as the depfile names it
        ninjaTarget.replace(":", "$:");
        QVERIFY(writeAll(folder + "/build.ninja",
                         "rule r\n  command = true\n  depfile = o.d\nbuild " + ninjaTarget.toUtf8() + ": r\n"));
        const auto tool = [&](const QString &program, const QStringList &args) {
            QProcess process;
            process.setWorkingDirectory(folder);
            process.start(program, args);
            return finish(process, 30000);
        };
        QCOMPARE(tool("make", {"-q", folder + '/' + targetName}).exitCode, 0);
        QCOMPARE(tool("ninja", {}).exitCode, 0);
        const Run quiet = tool("ninja", {"-n"});
        QVERIFY2(quiet.out.contains("no work to do"), qPrintable(quiet.out + quiet.err));
        QVERIFY(setTime(frame0, 100)); // a changed frame makes the target stale to both
        QCOMPARE(tool("make", {"-q", folder + '/' + targetName}).exitCode, 1);
        const Run stale = tool("ninja", {"-n"});
        QVERIFY2(!stale.out.contains("no work to do"), qPrintable(stale.out + stale.err));
    }

    // Rule: no input is read without a bound and no limit crashes the job: a
    // palette FIFO nobody writes and an endless palette device fail at once,
    // threads the system refuses leave the same file, and the memory check
    // counts the trimmed copies and the frame files being read, refusing
    // before anything is decoded.
    void inputsAreBoundedAndLimitsAreReported_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::newRow("palette FIFO without a writer") << "fifo" << 1 << "p.gpl: line 1";
        QTest::newRow("endless palette device") << "device" << 1 << "p.art: ";
        QTest::newRow("no thread can be created") << "threads" << 0 << "";
        QTest::newRow("trimmed copies beyond the address space") << "trim" << 1 << "Not enough memory";
        QTest::newRow("untrimmed frames within it") << "untrimmed" << 1 << "Cannot load frame";
        QTest::newRow("frame files read at once beyond it") << "reading" << 1 << "Not enough memory";
    }
    void inputsAreBoundedAndLimitsAreReported()
    {
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const QString folder = at(QStringLiteral("bounds-") + kind);
        QStringList args{"build", folder, "-o", folder + "/o.art"};
        bool unprivileged = false;
        rlim_t addressSpace = RLIM_INFINITY;
        rlim_t processes = RLIM_INFINITY;
        if (kind == QLatin1String("fifo") || kind == QLatin1String("device") || kind == QLatin1String("threads"))
            QVERIFY(frames(folder));
        if (kind == QLatin1String("fifo")) {
            QVERIFY(makeFifo(folder + "/p.gpl"));
            args << "--palette" << folder + "/p.gpl";
        } else if (kind == QLatin1String("device")) {
            const QString refused = makeCharDevice(folder + "/p.art", 1, 5); // an endless source of zeros
            if (!refused.isEmpty())
                QSKIP(qPrintable(refused));
            args << "--palette" << folder + "/p.art";
            addressSpace = rlim_t(1) << 30;
        } else if (kind == QLatin1String("threads")) {
            QCOMPARE(runArt({"build", folder, "-o", folder + "/one.art", "--threads", "1"}).exitCode, 0);
            args << "--threads" << "8" << "--dither" << "floyd-steinberg";
            unprivileged = true;
            processes = 1;
        } else if (kind == QLatin1String("reading")) {
            // Eight 512 MiB frame files, sparse, each read whole by its own decoder.
            for (int f = 0; f < 8; ++f) {
                QFile file(folder + '/' + frameName(1, f));
                QVERIFY(QDir().mkpath(folder) && file.open(QIODevice::WriteOnly));
                QVERIFY(file.write(fixture::bmpHeader(1, 1)) == 54 && file.resize(qint64(512) << 20));
            }
            args << "--threads" << "8";
            addressSpace = rlim_t(3) << 30;
        } else {
            // 24 frames of 64 MiB decoded: 1.5 GiB, twice that while trimming.
            for (int f = 0; f < 24; ++f)
                QVERIFY(writeAll(folder + '/' + frameName(1, f), fixture::bmpHeader(4096, 4096)));
            if (kind == QLatin1String("trim"))
                args << "--trim";
            addressSpace = rlim_t(3) << 30;
        }
#if defined(__SANITIZE_ADDRESS__)
        if (addressSpace != RLIM_INFINITY)
            QSKIP("the sanitizer's shadow memory needs the whole address space");
        if (processes != RLIM_INFINITY)
            QSKIP("the leak checker needs a thread of its own at exit");
#endif
        QElapsedTimer timer;
        timer.start();
        const Run r = runArt(args, unprivileged, [addressSpace, processes] {
            const rlimit as{addressSpace, addressSpace};
            ::setrlimit(RLIMIT_AS, &as);
            const rlimit nproc{processes, processes};
            ::setrlimit(RLIMIT_NPROC, &nproc);
        });
        QVERIFY2(timer.elapsed() < 20000, "the job took too long to fail");
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(printed), qPrintable(r.err));
        if (kind == QLatin1String("threads"))
            QCOMPARE(readAll(folder + "/o.art"), readAll(folder + "/one.art"));
        else
            QVERIFY(!QFile::exists(folder + "/o.art"));
    }

    // Failures whose system text alone says too little are worded with what
    // went wrong where.
    void failuresAreWordedClearly_data()
    {
        QTest::addColumn<QStringList>("args"); // F: a folder of frames with sprite.art in it
        QTest::addColumn<QString>("printed");
        QTest::newRow("over-long target name")
            << QStringList{"build", "F", "-o", "F/" + QString(300, 'n') + ".art"}
            << "the file name is 304 bytes long; this folder takes names of at most 255 bytes";
        QTest::newRow("extract below a regular file")
            << QStringList{"extract", "F/sprite.art", "F/sprite.art/frames"}
            << "F/sprite.art/frames: cannot create the folder: Not a directory";
    }
    void failuresAreWordedClearly()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, printed);
        const QString folder = at(QStringLiteral("worded"));
        if (!QFile::exists(folder + "/sprite.art")) {
            QVERIFY(frames(folder));
            QCOMPARE(runArt({"build", folder, "-o", folder + "/sprite.art", "-q"}).exitCode, 0);
        }
        for (QString &arg : args)
            arg.replace(QRegularExpression("^F"), folder);
        const Run r = runArt(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(printed.replace(QRegularExpression("^F"), folder)), qPrintable(r.err));
    }

    // Rule: extract's outputs are all-or-nothing too: when the disk fills up
    // part way, every file already written is put back as it was.
    void extractIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("mode"); // "" for one PNG per frame, or --gif
        QTest::newRow("frames") << "";
        QTest::newRow("animations") << "--gif";
    }
    void extractIsAllOrNothing()
    {
        QFETCH(QString, mode);
        const QString folder = at(QStringLiteral("extract-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeRotatableSprite(folder + "/s.art"));
        QStringList args{"extract", folder + "/s.art", folder + "/probe"};
        if (!mode.isEmpty())
            args << mode;
        QCOMPARE(runArt(args).exitCode, 0);
        const QStringList names = QDir(folder + "/probe").entryList(QDir::Files);
        QVERIFY(names.size() >= 8);
        const QString out = folder + "/out";
        TmpfsMount mount(out, 256 * 1024);
        if (!mount.mounted())
            QSKIP(qPrintable(mount.error()));
        for (const QString &name : names)
            QVERIFY(writeAll(out + '/' + name, "old " + name.toUtf8()));
        // Room for three more small files (a block each), then the disk is full.
        QVERIFY(fillUp(out + "/.filler", 3 * 4096));
        const auto before = snapshot(out);
        args[2] = out;
        const Run r = runArt(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("No space left on device"), qPrintable(r.err));
        QVERIFY2(r.out.contains(out + '/'), "some files were written before the disk filled up");
        QCOMPARE(snapshot(out), before);
    }
};

KESTRIN_TEST(CliSafetyTest)
#include "tst_safety.moc"
