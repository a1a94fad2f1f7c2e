// kestrin-art with unkind files: extract on a full disk and into its own
// input, frames too large for PNG, and info on endless, sparse and piped
// inputs, with private device nodes, FIFOs and a small tmpfs.
#include "artfile/artformat.h"
#include "clifixtures.h"
#include "specialfiles.h"
#include "testmain.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

using namespace clifixture;
using namespace specialfiles;

namespace {

/** Runs kestrin-art with at most 30 seconds and, outside the sanitizer build
 *  (whose shadow memory needs the whole address space), at most 512 MiB of
 *  address space: an input read whole would fail or be killed. */
Run runLimited(const QStringList &arguments)
{
    QProcess process;
    process.setProgram(QStringLiteral(KESTRIN_ART));
    process.setArguments(arguments);
#if !defined(__SANITIZE_ADDRESS__)
    process.setChildProcessModifier([] {
        const rlimit limit{rlim_t(512) << 20, rlim_t(512) << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    });
#endif
    process.start();
    return finish(process, 30000);
}

/** Every file below `dir` with its bytes. */
QHash<QString, QByteArray> snapshot(const QString &dir)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readAll(path));
    }
    return files;
}

/** A static sprite of one 1 x `height` frame. */
QByteArray tallSprite(qint32 height)
{
    using namespace kestrin::art;
    QByteArray bytes(qsizetype(indexDataOffset(1, 1)) + height, '\0');
    auto *data = reinterpret_cast<quint8 *>(bytes.data());
    Header header;
    header.staticFlag = 1;
    header.rate = 8;
    header.framesPerDirection = 1;
    header.setPaletteSlots(1);
    encodeHeader(header, data);
    put32le(data + kPaletteOffset + 4, 0x00ff8040); // entry 1, used by every other row
    for (qint32 y = 1; y < height; y += 2)
        data[indexDataOffset(1, 1) + y] = 1;
    encodeFrameHeader(FrameHeader{1, height, height, 0, height / 2}, data + frameHeadersOffset(1));
    return bytes;
}

} // namespace

class CliFilesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_art;
    QByteArray m_bytes;

    QString at(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        // A static sprite of 8 frames made by kestrin-art itself.
        const QString frames = at(QStringLiteral("frames"));
        QVERIFY(writeFrames(frames, QStringLiteral("camera%1_%2.png"), {1}, [](int) { return 8; }));
        m_art = at(QStringLiteral("walk.art"));
        const Run build = run({QStringLiteral("build"), frames, QStringLiteral("-o"), m_art, QStringLiteral("--pattern"),
                               QStringLiteral("camera%1_%2.png"), QStringLiteral("--quiet")});
        QVERIFY2(build.exitCode == 0, qPrintable(build.err));
        m_bytes = readAll(m_art);
    }

    // ---- extract ----------------------------------------------------------------

    void extractOnAFullDiskKeepsExistingPngs_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("firstFile");
        QTest::newRow("frames") << QString() << QStringLiteral("camera01_0000.png");
        QTest::newRow("sheet") << QStringLiteral("--sheet") << QStringLiteral("walk.png");
    }

    void extractOnAFullDiskKeepsExistingPngs()
    {
        QFETCH(QString, option);
        QFETCH(QString, firstFile);
        const QString out = at(QStringLiteral("full-") + QTest::currentDataTag());
        TmpfsMount mount(out, 256 * 1024);
        if (!mount.mounted())
            QSKIP(qPrintable(mount.error()));
        QStringList args{QStringLiteral("extract"), m_art, out};
        if (!option.isEmpty())
            args << option;
        const Run first = run(args);
        QVERIFY2(first.exitCode == 0, qPrintable(first.err));
        const QHash<QString, QByteArray> before = snapshot(out);
        QVERIFY(!before.isEmpty());
        QVERIFY(fillUp(out + QStringLiteral("/filler")));

        const Run again = run(args << QStringLiteral("--transparent-zero")); // other bytes for every file
        QCOMPARE(again.exitCode, 1);
        QCOMPARE(again.err, QStringLiteral("kestrin-art: %1/%2: No space left on device\n").arg(out, firstFile));
        QHash<QString, QByteArray> after = snapshot(out);
        QVERIFY(after.remove(out + QStringLiteral("/filler")));
        QCOMPARE(after.keys().size(), before.keys().size());
        for (auto it = before.begin(); it != before.end(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }

    void extractNeverOverwritesItsInput_data()
    {
        QTest::addColumn<QString>("input");  // where the sprite file is
        QTest::addColumn<QString>("output"); // the output that is the same file
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("link");   // "", "hard" or "soft": how output is made
        QTest::newRow("sheet named like the sprite")
            << QStringLiteral("self/self.png") << QStringLiteral("self/self.png") << QStringLiteral("--sheet") << QString();
        QTest::newRow("frame named like the sprite")
            << QStringLiteral("frame/camera01_0003.png") << QStringLiteral("frame/camera01_0003.png") << QString()
            << QString();
        QTest::newRow("hard link") << QStringLiteral("hard/in/x.art") << QStringLiteral("hard/out/x.png")
                                   << QStringLiteral("--sheet") << QStringLiteral("hard");
        QTest::newRow("symbolic link") << QStringLiteral("soft/in/x.art") << QStringLiteral("soft/out/x.png")
                                       << QStringLiteral("--sheet") << QStringLiteral("soft");
    }

    void extractNeverOverwritesItsInput()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, option);
        QFETCH(QString, link);
        const QString in = at(input), out = at(output);
        QVERIFY(QDir().mkpath(QFileInfo(in).path()) && QDir().mkpath(QFileInfo(out).path()));
        QVERIFY(writeAll(in, m_bytes));
        if (link == QLatin1String("hard"))
            QCOMPARE(::link(native(in).constData(), native(out).constData()), 0);
        if (link == QLatin1String("soft"))
            QCOMPARE(::symlink(native(in).constData(), native(out).constData()), 0);
        const QString outDir = QFileInfo(out).path();
        const QHash<QString, QByteArray> before = snapshot(outDir);

        QStringList args{QStringLiteral("extract"), in, outDir};
        if (!option.isEmpty())
            args << option;
        const Run cli = run(args);
        QCOMPARE(cli.exitCode, 1);
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1: is the sprite file being read").arg(out)),
                 qPrintable(cli.err));
        QCOMPARE(readAll(in), m_bytes);
        QCOMPARE(snapshot(outDir), before); // nothing written at all
    }

    void extractSaysWhyAFrameIsTooLargeForPng()
    {
        const QString file = at(QStringLiteral("tall.art"));
        QVERIFY(writeAll(file, tallSprite(1000001)));
        const Run cli = run({QStringLiteral("extract"), file, at(QStringLiteral("tall"))});
        QCOMPARE(cli.exitCode, 1);
        QCOMPARE(cli.err, QStringLiteral("kestrin-art: %1: frame 0 is 1 x 1000001 pixels; the PNG writer takes at most "
                                         "1000000 pixels per side\n")
                              .arg(file));
        QVERIFY(QDir(at(QStringLiteral("tall"))).isEmpty());

        QVERIFY(writeAll(file, tallSprite(1000000))); // the largest it takes
        QCOMPARE(run({QStringLiteral("extract"), file, at(QStringLiteral("tall"))}).exitCode, 0);
    }

    // ---- build -------------------------------------------------------------------

    // The target of build follows the same rules as every output: a full
    // disk fails with its reason and leaves the old file; a device or FIFO is
    // written through; a link stays a link; a replaced file keeps its mode.
    void buildTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("full disk") << QStringLiteral("full");
        QTest::newRow("character device") << QStringLiteral("device");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("symbolic link") << QStringLiteral("link");
        QTest::newRow("mode 0640") << QStringLiteral("mode");
    }
    void buildTargets()
    {
        QFETCH(QString, kind);
        const QString dir = at(QStringLiteral("targets-") + kind);
        QVERIFY(QDir().mkpath(dir));
        const QString target = dir + QStringLiteral("/out.art");
        const QStringList args{QStringLiteral("build"), at(QStringLiteral("frames")), QStringLiteral("-o"), target,
                               QStringLiteral("--pattern"), QStringLiteral("camera%1_%2.png"),
                               QStringLiteral("--palettes"), QStringLiteral("1"), QStringLiteral("--trim"),
                               QStringLiteral("--quiet")};
        if (kind == QLatin1String("full")) {
            TmpfsMount mount(dir, 64 * 1024);
            if (!mount.mounted())
                QSKIP(qPrintable(mount.error()));
            QVERIFY(writeAll(target, QByteArray(3792, 'x')));
            QVERIFY(fillUp(dir + QStringLiteral("/filler")));
            const Run cli = run(args);
            QCOMPARE(cli.exitCode, 1);
            QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1: cannot write: No space left on device\n")
                                            .arg(target)),
                     qPrintable(cli.err));
            QCOMPARE(readAll(target), QByteArray(3792, 'x'));
            QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary file left
            return;
        }
        const Run reference = run(QStringList(args).replaceInStrings(target, at(QStringLiteral("plain-") + kind)));
        QCOMPARE(reference.exitCode, 0);
        const QByteArray expected = readAll(at(QStringLiteral("plain-") + kind));
        if (kind == QLatin1String("device")) {
            const QString error = makeCharDevice(target, 1, 3); // a private null device
            if (!error.isEmpty())
                QSKIP(qPrintable(error));
            QCOMPARE(run(args).exitCode, 0);
            QCOMPARE(typeOf(target), 'c');
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(makeFifo(target));
            FifoReader reader(target);
            QCOMPARE(run(args).exitCode, 0);
            QVERIFY(reader.finish());
            QCOMPARE(reader.bytes(), expected);
            QCOMPARE(typeOf(target), 'p');
        } else if (kind == QLatin1String("link")) {
            QVERIFY(writeAll(dir + QStringLiteral("/real.art"), "old"));
            QVERIFY(QFile::link(QStringLiteral("real.art"), target));
            QCOMPARE(run(args).exitCode, 0);
            QCOMPARE(typeOf(target), 'l');
            QCOMPARE(readAll(dir + QStringLiteral("/real.art")), expected);
        } else {
            QVERIFY(writeAll(target, "old"));
            QVERIFY(::chmod(native(target).constData(), 0640) == 0);
            QCOMPARE(run(args).exitCode, 0);
            QCOMPARE(readAll(target), expected);
            struct stat status {};
            QVERIFY(::stat(native(target).constData(), &status) == 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0640));
        }
    }

    // A name without a frame number would name one file for every number
    // (979,902 frames of it): refused before anything is read. Frames whose
    // decoded size (read from their headers) does not fit are refused before
    // decoding.
    void memoryStaysBounded_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("one name for every number, refused") << QStringLiteral("still.bmp") << 2
                                                            << QStringLiteral("has no %2");
        QTest::newRow("frames larger than the memory")
            << QStringLiteral("huge%1_%2.bmp") << 1
            << QStringLiteral("Not enough memory: the decoded frames need 560.8 MiB, at most ");
    }
    void memoryStaysBounded()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer build needs the whole address space, so no memory limit can be set");
#endif
        QFETCH(QString, pattern);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString folder = at(QStringLiteral("memory"));
        QVERIFY(fixture::writeImage(folder + QStringLiteral("/still.bmp"), fixture::flat(3, 4, 0xff336699u)));
        for (int f = 0; f < 3; ++f) // headers of 7000 x 7000 pixels, 196 MB each once decoded
            QVERIFY(writeAll(folder + QStringLiteral("/huge01_000%1.bmp").arg(f), fixture::bmpHeader(7000, 7000)));
        const QString target = at(QStringLiteral("memory.art"));
        const Run cli = runLimited({QStringLiteral("build"), folder, QStringLiteral("--pattern"), pattern,
                                    QStringLiteral("-o"), target, QStringLiteral("--quiet")});
        QCOMPARE(cli.exitCode, exitCode);
        QVERIFY(!QFileInfo::exists(target));
        if (exitCode == 2) {
            QVERIFY2(cli.err.contains(message), qPrintable(cli.err));
        } else {
            QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1/: %2").arg(folder, message)),
                     qPrintable(cli.err));
        }
    }

    // ---- info ---------------------------------------------------------------------

    void infoReadsOnlyWhatTheHeadersDeclare_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("private /dev/zero") << QStringLiteral("zero") << QStringLiteral("direction count is 0, must be 8");
        QTest::newRow("sparse 4 GiB file")
            << QStringLiteral("sparse")
            << QStringLiteral("4294966112 extra byte(s) after the index data of the last frame, which ends at byte 1184");
    }

    void infoReadsOnlyWhatTheHeadersDeclare()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString file = at(kind);
        if (kind == QLatin1String("zero")) {
            const QString refused = makeCharDevice(file, 1, 5);
            if (!refused.isEmpty())
                QSKIP(qPrintable(refused));
        } else {
            // The first 1156 bytes of a file with one palette, declaring one
            // 0 x 0 frame whose header is the zeros that follow.
            QByteArray head = m_bytes.left(1156);
            for (int slot = 1; slot < 4; ++slot) // one palette
                kestrin::art::put32le(reinterpret_cast<quint8 *>(head.data()) + 12 + 4 * slot, 0);
            kestrin::art::put32le(reinterpret_cast<quint8 *>(head.data()) + 32, 1);
            QFile sparse(file);
            QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.write(head) == head.size());
            QVERIFY(sparse.resize(qint64(4) << 30));
            sparse.close();
        }
        QElapsedTimer timer;
        timer.start();
        const Run cli = runLimited({QStringLiteral("info"), file});
        QCOMPARE(cli.exitCode, 1);
        QCOMPARE(cli.err, QStringLiteral("kestrin-art: %1: %2\n").arg(file, message));
        QVERIFY2(timer.elapsed() < 10000, "reading took more than 10 seconds");
        QFile::remove(file);
    }

    void infoReadsPipes_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<qint64>("cut"); // bytes left off the end
        QTest::addColumn<QString>("message");
        QTest::newRow("FIFO") << QStringLiteral("fifo") << qint64(0) << QString();
        QTest::newRow("process substitution") << QStringLiteral("bash") << qint64(0) << QString();
        QTest::newRow("FIFO, cut short")
            << QStringLiteral("fifo") << qint64(1)
            << QStringLiteral("truncated: the index data of frame 7 ends at byte %1, the file has %2 bytes");
    }

    void infoReadsPipes()
    {
        QFETCH(QString, via);
        QFETCH(qint64, cut);
        QFETCH(QString, message);
        const QByteArray bytes = m_bytes.left(m_bytes.size() - cut);
        const Run expected = run({QStringLiteral("info"), m_art});
        Run cli;
        QString name;
        if (via == QLatin1String("fifo")) {
            name = at(QStringLiteral("pipe-%1").arg(cut));
            QVERIFY(makeFifo(name));
            FifoWriter writer(name, bytes);
            cli = runLimited({QStringLiteral("info"), name});
            QVERIFY(writer.finish());
        } else {
            QProcess bash;
            bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("\"$0\" info <(cat \"$1\")"),
                                                QStringLiteral(KESTRIN_ART), m_art});
            cli = finish(bash, 30000);
            name = cli.out.section(QLatin1Char('\n'), 0, 0).mid(22).section(QLatin1String(" ("), 0, 0);
        }
        if (message.isEmpty()) {
            QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
            QCOMPARE(cli.out, QString(expected.out).replace(m_art, name));
        } else {
            QCOMPARE(cli.exitCode, 1);
            QCOMPARE(cli.err, QStringLiteral("kestrin-art: %1: %2\n").arg(name, message.arg(m_bytes.size()).arg(bytes.size())));
        }
    }
};

KESTRIN_TEST(CliFilesTest)
#include "tst_files.moc"
