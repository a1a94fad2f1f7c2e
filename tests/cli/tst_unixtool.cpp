// kestrin-art as a well-behaved Unix tool: "-" for standard input and
// output, and a progress line that fits any terminal and is left behind once
// per phase.
#include "clifixtures.h"
#include "testmain.h"

#include <QTemporaryDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace clifixture;

namespace {

/** Runs kestrin-art on a new pseudo-terminal of `columns` columns with TERM
 *  set to `term`, and returns everything the terminal received. */
QByteArray runOnTerminal(const QStringList &arguments, int columns, const char *term)
{
    QList<QByteArray> args{QByteArray(KESTRIN_ART)};
    for (const QString &a : arguments)
        args << QFile::encodeName(a);
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    struct winsize size {};
    size.ws_col = quint16(columns);
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        setenv("TERM", term, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    QByteArray received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the child has closed the terminal
        received.append(buffer, n);
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    return received;
}

/** The lines a terminal shows at the end: each "\r" starts its line again. */
QStringList shownLines(const QByteArray &received)
{
    QStringList lines;
    for (QByteArray line : received.split('\n')) {
        line.replace("\033[K", "");
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype cr = line.lastIndexOf('\r');
        lines << QString::fromLocal8Bit(cr < 0 ? line : line.mid(cr + 1)).trimmed();
    }
    return lines;
}

} // namespace

class UnixToolTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_frames;

    QString at(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        m_frames = at(QStringLiteral("frames"));
        QVERIFY(writeFrames(m_frames, QStringLiteral("camera%1_%2.bmp"), {1, 2}, [](int) { return 40; }));
    }

    void progressFitsANarrowTerminal_data()
    {
        QTest::addColumn<QByteArray>("term");
        QTest::newRow("xterm") << QByteArray("xterm");
        QTest::newRow("dumb") << QByteArray("dumb");
    }
    void progressFitsANarrowTerminal()
    {
        QFETCH(QByteArray, term);
        const QByteArray received = runOnTerminal(
            {QStringLiteral("build"), m_frames, QStringLiteral("-o"), at(QStringLiteral("narrow.art"))}, 40, term);
        QVERIFY2(received.contains("Generation successful!"), received.constData());
        QCOMPARE(received.contains("\033["), term != "dumb");
        int progressLines = 0;
        for (const QString &line : shownLines(received)) {
            if (!line.contains(QLatin1Char('%')))
                continue; // the summary lines may wrap like any text
            QVERIFY2(line.size() < 40, qPrintable(line));
            ++progressLines;
        }
        QCOMPARE(progressLines, 2); // loading, then generation, each at 100 %
        QVERIFY(shownLines(received).filter(QStringLiteral("100%")).size() == 2);
    }

    // A build loads a format's library only when a frame is in that format:
    // PNG frames cost no start-up for libjpeg, libtiff or libwebp. Read from
    // the system loader's own account of the libraries it opens.
    void formatLibrariesLoadWhenAFrameNeedsThem_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("needed");
        QTest::addColumn<QStringList>("absent"); // libtiff itself needs libjpeg and libwebp
        // Qt GUI comes with the full program, which reads the formats whose
        // readers need it for the build program.
        const QString tiff = QStringLiteral("libtiff.so"), jpeg = QStringLiteral("libjpeg.so"),
                      webp = QStringLiteral("libwebp.so"), gui = QStringLiteral("libQt6Gui.so");
        QTest::newRow("png") << QStringLiteral("png") << QString() << QStringList{tiff, jpeg, webp, gui};
        QTest::newRow("bmp") << QStringLiteral("bmp") << gui << QStringList{tiff, jpeg, webp};
        QTest::newRow("jpg") << QStringLiteral("jpg") << jpeg << QStringList{tiff, webp, gui};
        QTest::newRow("webp") << QStringLiteral("webp") << webp << QStringList{tiff, jpeg, gui};
        QTest::newRow("tif") << QStringLiteral("tif") << tiff << QStringList{};
    }
    void formatLibrariesLoadWhenAFrameNeedsThem()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, needed);
        QFETCH(QStringList, absent);
        const QString folder = at(QStringLiteral("formats-") + suffix);
        QVERIFY(writeFrames(folder, QStringLiteral("camera%1_%2.") + suffix, {1}, [](int) { return 2; }));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRIN_ART),
                      {QStringLiteral("build"), folder, QStringLiteral("--pattern"),
                       QStringLiteral("camera%1_%2.") + suffix, QStringLiteral("-q"), QStringLiteral("-o"),
                       at(QStringLiteral("formats-") + suffix + QStringLiteral(".art"))});
        QVERIFY(process.waitForFinished(60000));
        const QString account = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 0, qPrintable(account.right(2000)));
        QVERIFY2(account.contains(QStringLiteral("file=libpng16.so")), "no loader account on standard error");
        const auto loaded = [&](const QString &library) { return account.contains(QStringLiteral("file=") + library); };
        if (!needed.isEmpty())
            QVERIFY2(loaded(needed), qPrintable(needed + QStringLiteral(" was not loaded")));
        for (const QString &library : absent)
            QVERIFY2(!loaded(library), qPrintable(library + QStringLiteral(" was loaded")));
    }

    // The largest image decoded is Qt's limit, which QT_IMAGEIO_MAXALLOC
    // sets (in MiB), for the frames the build program decodes itself (PNG)
    // and for those it hands to the full program (BMP) alike.
    void decodeLimitFollowsQtsSetting_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("setting"); // empty: not set
        QTest::addColumn<bool>("refused");
        for (const QString &suffix : {QStringLiteral("png"), QStringLiteral("bmp")}) {
            QTest::newRow(qPrintable(suffix + QStringLiteral(", not set"))) << suffix << QString() << false;
            QTest::newRow(qPrintable(suffix + QStringLiteral(", 1 MiB"))) << suffix << QStringLiteral("1") << true;
            QTest::newRow(qPrintable(suffix + QStringLiteral(", 0x1 MiB"))) << suffix << QStringLiteral("0x1") << true;
            QTest::newRow(qPrintable(suffix + QStringLiteral(", 0: no limit"))) << suffix << QStringLiteral("0") << false;
            QTest::newRow(qPrintable(suffix + QStringLiteral(", no number"))) << suffix << QStringLiteral("-1") << false;
        }
    }
    void decodeLimitFollowsQtsSetting()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, setting);
        QFETCH(bool, refused);
        const QString folder = at(QStringLiteral("limit-") + suffix);
        if (!QDir(folder).exists()) {
            QVERIFY(QDir().mkpath(folder));
            QImage wide(700, 400, QImage::Format_RGB32); // 1.07 MiB decoded
            wide.fill(qRgb(10, 20, 30));
            QVERIFY(wide.save(folder + QStringLiteral("/camera01_0000.") + suffix));
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_IMAGEIO_MAXALLOC"));
        if (!setting.isEmpty())
            environment.insert(QStringLiteral("QT_IMAGEIO_MAXALLOC"), setting);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRIN_ART),
                      {QStringLiteral("build"), folder, QStringLiteral("--pattern"),
                       QStringLiteral("camera%1_%2.") + suffix, QStringLiteral("-q"), QStringLiteral("-o"),
                       at(QStringLiteral("limit.art"))});
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitCode(), refused ? 1 : 0);
        QCOMPARE(err.contains(QStringLiteral("too large: the image is 700 x 400 pixels, 1 MiB decoded; at most 1 MiB "
                                             "are decoded")),
                 refused);
    }

    // "-o -" writes the file to standard output (messages go to standard
    // error) and "-" reads it back as the input of info and extract.
    void dashIsStandardInputAndOutput()
    {
        QProcess build;
        build.setProgram(QStringLiteral(KESTRIN_ART));
        build.setArguments({QStringLiteral("build"), m_frames, QStringLiteral("-o"), QStringLiteral("-")});
        build.start();
        QVERIFY(build.waitForFinished(60000));
        QCOMPARE(build.exitCode(), 0);
        const QByteArray file = build.readAllStandardOutput();
        const QString err = QString::fromLocal8Bit(build.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("kestrin-art: Generation successful! Wrote standard output (%1 bytes)")
                                  .arg(file.size())),
                 qPrintable(err));
        QVERIFY(!QFile::exists(QStringLiteral("-")));
        const Run reference = run({QStringLiteral("build"), m_frames, QStringLiteral("-o"), at(QStringLiteral("ref.art"))});
        QCOMPARE(reference.exitCode, 0);
        QCOMPARE(file, readAll(at(QStringLiteral("ref.art"))));

        QProcess info;
        info.setProgram(QStringLiteral(KESTRIN_ART));
        info.setArguments({QStringLiteral("info"), QStringLiteral("-"), QStringLiteral("--json")});
        info.start();
        info.write(file);
        info.closeWriteChannel();
        QVERIFY(info.waitForFinished(60000));
        QCOMPARE(info.exitCode(), 0);
        QVERIFY(info.readAllStandardOutput().contains("\"fileSize\": " + QByteArray::number(file.size())));

        QProcess extract;
        extract.setProgram(QStringLiteral(KESTRIN_ART));
        extract.setArguments({QStringLiteral("extract"), QStringLiteral("-"), at(QStringLiteral("out")),
                              QStringLiteral("--sheet"), QStringLiteral("--quiet")});
        extract.start();
        extract.write(file);
        extract.closeWriteChannel();
        QVERIFY(extract.waitForFinished(60000));
        QCOMPARE(extract.exitCode(), 0);
        QVERIFY(QFile::exists(at(QStringLiteral("out/sprite.png"))));
    }
};

KESTRIN_TEST(UnixToolTest)
#include "tst_unixtool.moc"
