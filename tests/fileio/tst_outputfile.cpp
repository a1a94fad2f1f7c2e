// OutputFile: a failed or canceled write never touches an existing target,
// every failure names the system's reason, and special files are written
// straight through instead of being replaced.
#include "specialfiles.h"
#include "fileio/outputfile.h"
#include "fixtures.h"
#include "testmain.h"
#include "fileio/failure.h"

#include <QDir>
#include <QIODevice>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using kestrin::Failure;
using kestrin::FailureKind;
using namespace specialfiles;

using fixture::readAll;
using fixture::writeAll;

namespace {

QByteArray pattern(qint64 size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}

/** saveFile of `bytes` in writes of `chunk`, whose results are ignored on
 *  purpose: a failed write must still fail the commit. */
Failure saveInChunks(const QString &path, const QByteArray &bytes, qint64 chunk)
{
    return kestrin::saveFile(path, [&](QIODevice &device) {
        for (qint64 at = 0; at < bytes.size(); at += chunk)
            device.write(bytes.constData() + at, qMin(chunk, bytes.size() - at));
        return true;
    });
}

struct stat statOf(const QString &path)
{
    struct stat status {};
    ::stat(native(path).constData(), &status);
    return status;
}

} // namespace

class OutputFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString at(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void fullDiskLeavesTheTargetIntact_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("chunk");
        QTest::addColumn<qint64>("room"); // free bytes left on the disk
        // Below 16 KiB a buffered file held every byte until the commit.
        QTest::newRow("small, one write") << qint64(2000) << qint64(2000) << qint64(0);
        QTest::newRow("small, many writes") << qint64(2000) << qint64(100) << qint64(0);
        QTest::newRow("large, one write") << qint64(100000) << qint64(100000) << qint64(0);
        QTest::newRow("large, batches") << qint64(100000) << qint64(4096) << qint64(0);
        // A write that takes only part of its bytes reports no error itself.
        QTest::newRow("disk fills part way") << qint64(100000) << qint64(100000) << qint64(8192);
    }

    void fullDiskLeavesTheTargetIntact()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, chunk);
        QFETCH(qint64, room);
        const QString disk = at(QStringLiteral("full-%1-%2-%3").arg(size).arg(chunk).arg(room));
        TmpfsMount mount(disk, 64 * 1024);
        if (!mount.mounted())
            QSKIP(qPrintable(mount.error()));
        const QString target = disk + QStringLiteral("/out.art");
        const QByteArray old = pattern(3792, 'a');
        QVERIFY(writeAll(target, old));
        QVERIFY(fillUp(disk + QStringLiteral("/filler"), room));

        const Failure failure = saveInChunks(target, pattern(size, 'b'), chunk);
        QCOMPARE(failure.kind, FailureKind(kestrin::FileFailure::CannotWriteFile));
        QCOMPARE(failure.path, target);
        QCOMPARE(failure.reason, QStringLiteral("No space left on device"));
        QCOMPARE(readAll(target), old);
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{QStringLiteral("filler"), QStringLiteral("out.art")}));
    }

    void replacedFileKeepsModeAndOwner_data()
    {
        QTest::addColumn<uint>("mode");
        QTest::newRow("private") << 0600u;
        QTest::newRow("group readable") << 0640u;
        QTest::newRow("executable") << 0755u;
        QTest::newRow("set-user-ID") << 04755u;
        QTest::newRow("set-group-ID, read-only for others") << 02754u;
    }

    void replacedFileKeepsModeAndOwner()
    {
        QFETCH(uint, mode);
        const QString target = at(QStringLiteral("mode-%1").arg(mode, 0, 8));
        QVERIFY(writeAll(target, "old"));
        const bool root = ::geteuid() == 0;
        if (root) // before chmod: a change of owner clears the set-ID bits
            QCOMPARE(::chown(native(target).constData(), 1234, 5678), 0);
        QCOMPARE(::chmod(native(target).constData(), mode), 0);
        QCOMPARE(uint(statOf(target).st_mode & 07777), mode);
        const quint64 oldInode = inodeOf(target);

        QVERIFY(!saveInChunks(target, "new bytes", 4));
        QCOMPARE(readAll(target), QByteArray("new bytes"));
        QVERIFY(inodeOf(target) != oldInode); // replaced, not rewritten in place
        QCOMPARE(uint(statOf(target).st_mode & 07777), mode);
        if (root) {
            QCOMPARE(statOf(target).st_uid, uid_t(1234));
            QCOMPARE(statOf(target).st_gid, gid_t(5678));
        }
    }

    void symbolicLinksStayLinks()
    {
        // link -> sub/link2 -> ../real.art, both relative to their own folder.
        QVERIFY(QDir().mkpath(at(QStringLiteral("sub"))));
        QVERIFY(writeAll(at(QStringLiteral("real.art")), "old"));
        QCOMPARE(::symlink("sub/link2", native(at(QStringLiteral("link"))).constData()), 0);
        QCOMPARE(::symlink("../real.art", native(at(QStringLiteral("sub/link2"))).constData()), 0);
        const quint64 oldInode = inodeOf(at(QStringLiteral("real.art")));
        QVERIFY(!saveInChunks(at(QStringLiteral("link")), "new", 3));
        QCOMPARE(typeOf(at(QStringLiteral("link"))), 'l');
        QCOMPARE(typeOf(at(QStringLiteral("sub/link2"))), 'l');
        QCOMPARE(readAll(at(QStringLiteral("real.art"))), QByteArray("new"));
        QVERIFY(inodeOf(at(QStringLiteral("real.art"))) != oldInode);

        // A link to nothing yet: the file appears behind it.
        QCOMPARE(::symlink("made.art", native(at(QStringLiteral("dangling"))).constData()), 0);
        QVERIFY(!saveInChunks(at(QStringLiteral("dangling")), "made", 4));
        QCOMPARE(typeOf(at(QStringLiteral("dangling"))), 'l');
        QCOMPARE(readAll(at(QStringLiteral("made.art"))), QByteArray("made"));
    }

    void refusedTargets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("Is a directory");
        QTest::newRow("link loop") << QStringLiteral("loop1") << QStringLiteral("Too many levels of symbolic links");
        QTest::newRow("missing folder") << QStringLiteral("nowhere/x.art") << QStringLiteral("No such file or directory");
        QTest::newRow("file as folder") << QStringLiteral("plain/x.art") << QStringLiteral("Not a directory");
        QTest::newRow("empty path") << QString() << QStringLiteral("No such file or directory");
    }

    void refusedTargets()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QDir().mkpath(at(QStringLiteral("refused/folder")));
        // Made once; later rows find them already there.
        for (const char *link : {"loop1", "loop2"}) {
            const QString path = at(QStringLiteral("refused/") + QLatin1String(link));
            if (typeOf(path) != 'l')
                QVERIFY(::symlink(link[4] == '1' ? "loop2" : "loop1", native(path).constData()) == 0);
        }
        QVERIFY(writeAll(at(QStringLiteral("refused/plain")), "plain"));
        const QStringList before = QDir(at(QStringLiteral("refused"))).entryList(QDir::AllEntries | QDir::System);

        const QString path = name.isEmpty() ? name : at(QStringLiteral("refused/") + name);
        kestrin::OutputFile looked(path); // the look before the work says the same
        QVERIFY(!looked.check());
        QCOMPARE(looked.failure().reason, reason);
        const Failure failure = saveInChunks(path, "x", 1);
        QCOMPARE(failure.kind, FailureKind(kestrin::FileFailure::CannotCreateFile));
        QCOMPARE(failure.path, path);
        QCOMPARE(failure.reason, reason);
        QCOMPARE(QDir(at(QStringLiteral("refused"))).entryList(QDir::AllEntries | QDir::System), before);
        QCOMPARE(typeOf(at(QStringLiteral("refused/folder"))), 'd');
        QCOMPARE(typeOf(at(QStringLiteral("refused/loop1"))), 'l');
    }

    void deviceNodesAreWrittenThrough_data()
    {
        QTest::addColumn<uint>("minor");
        QTest::addColumn<QString>("reason"); // empty: the write succeeds
        QTest::newRow("a null device") << 3u << QString();
        QTest::newRow("a full device") << 7u << QStringLiteral("No space left on device");
    }

    void deviceNodesAreWrittenThrough()
    {
        QFETCH(uint, minor);
        QFETCH(QString, reason);
        const QString node = at(QStringLiteral("node%1").arg(minor));
        const QString refused = makeCharDevice(node, 1, minor);
        if (!refused.isEmpty())
            QSKIP(qPrintable(refused));
        const Failure failure = saveInChunks(node, pattern(5000, 'n'), 1000);
        QCOMPARE(failure.reason, reason);
        QCOMPARE(failure.kind, reason.isEmpty() ? FailureKind() : FailureKind(kestrin::FileFailure::CannotWriteFile));
        QCOMPARE(typeOf(node), 'c');
        QCOMPARE(statOf(node).st_rdev, makedev(1, minor));
        QCOMPARE(QDir(m_dir.path()).entryList(QStringList{QStringLiteral("node%1*").arg(minor)}, QDir::System),
                 QStringList{QStringLiteral("node%1").arg(minor)});
    }

    void fifoReaderGetsEveryByte()
    {
        const QString fifo = at(QStringLiteral("pipe"));
        QVERIFY(makeFifo(fifo));
        FifoReader reader(fifo);
        const QByteArray bytes = pattern(300000, 'p'); // more than the pipe holds at once
        QVERIFY(!saveInChunks(fifo, bytes, 65536));
        QVERIFY2(reader.finish(), "the writer never closed the FIFO");
        QCOMPARE(reader.bytes(), bytes);
        QCOMPARE(typeOf(fifo), 'p');
    }

    void standardOutputIsWrittenThrough()
    {
        const QString file = at(QStringLiteral("stdout.txt"));
        const int saved = ::dup(STDOUT_FILENO);
        const int fd = ::open(native(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(saved >= 0 && fd >= 0);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
        const Failure failure = saveInChunks(QStringLiteral("-"), "to standard output", 5);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        QVERIFY(!failure);
        QCOMPARE(readAll(file), QByteArray("to standard output"));
    }

    void unfinishedOutputLeavesTheTargetIntact_data()
    {
        QTest::addColumn<int>("ending"); // 0 writer gives up, 1 cancel then commit, 2 never committed
        QTest::newRow("writer gives up") << 0;
        QTest::newRow("canceled") << 1;
        QTest::newRow("never committed") << 2;
    }

    void unfinishedOutputLeavesTheTargetIntact()
    {
        QFETCH(int, ending);
        const QString folder = at(QStringLiteral("unfinished%1").arg(ending));
        QVERIFY(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("/out.art");
        QVERIFY(writeAll(target, "old"));
        if (ending == 0) {
            const Failure failure = kestrin::saveFile(target, [](QIODevice &device) {
                (void)device.write("new");
                return false;
            });
            QCOMPARE(failure.kind, FailureKind(kestrin::FileFailure::CannotWriteFile));
            QCOMPARE(failure.reason, QStringLiteral("Operation canceled"));
        } else {
            kestrin::OutputFile file(target);
            QVERIFY(file.open());
            QVERIFY(file.write("new"));
            if (ending == 1) {
                file.cancel();
                QVERIFY(!file.commit());
                QCOMPARE(file.failure().kind, FailureKind(kestrin::FileFailure::CannotWriteFile));
                QCOMPARE(file.failure().reason, QStringLiteral("Operation canceled"));
            }
        }
        QCOMPARE(readAll(target), QByteArray("old"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.art")});
    }

    // A job with several outputs commits one keeping the file it replaced,
    // and takes it back when a later output fails: the old bytes and inode
    // return, or a file that was not there goes again; nothing is left beside.
    void keptOldFileCanBeRestored_data()
    {
        QTest::addColumn<bool>("existed");
        QTest::addColumn<bool>("restore");
        QTest::newRow("existing file, restored") << true << true;
        QTest::newRow("new file, restored") << false << true;
        QTest::newRow("existing file, kept new") << true << false;
    }
    void keptOldFileCanBeRestored()
    {
        QFETCH(bool, existed);
        QFETCH(bool, restore);
        const QString folder = at(QStringLiteral("keep-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/t.art");
        if (existed)
            QVERIFY(writeAll(path, "old"));
        const quint64 oldInode = inodeOf(path);
        {
            kestrin::OutputFile file(path);
            QVERIFY(file.open() && file.write("new"));
            QVERIFY(file.commitKeepingOld());
            QVERIFY(file.canRestore());
            QCOMPARE(readAll(path), QByteArray("new"));
            if (restore)
                QVERIFY(file.restore());
        }
        if (restore && existed) {
            QCOMPARE(readAll(path), QByteArray("old"));
            QCOMPARE(inodeOf(path), oldInode);
        }
        QCOMPARE(QFile::exists(path), existed || !restore);
        if (!restore)
            QCOMPARE(readAll(path), QByteArray("new"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), existed || !restore ? 1 : 0);
    }
};

KESTRIN_TEST(OutputFileTest)
#include "tst_outputfile.moc"
