// The window's diagnostic log: one line per call in "debug.txt" of the
// working directory, and the same line on standard output.
#include "app/diagnosticlog.h"
#include "testmain.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

// Runs `fn` with standard output redirected into a file and returns what it wrote.
QByteArray captureStdout(const std::function<void()> &fn)
{
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("stdout")).toLocal8Bit();
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    if (!std::freopen(path.constData(), "wb", stdout))
        return {};
    fn();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    QFile file(QString::fromLocal8Bit(path));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QByteArray readLog()
{
    QFile file(QStringLiteral("debug.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QRegularExpression kTime(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));

} // namespace

class LogTest : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    QString previous;

private slots:
    void init()
    {
        previous = QDir::currentPath();
        dir = new QTemporaryDir;
        QVERIFY(QDir::setCurrent(dir->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(previous);
        delete dir;
    }

    void firstCallCreatesTheFileWithOneLine()
    {
        QVERIFY(!QFile::exists(QStringLiteral("debug.txt")));
        const QByteArray out = captureStdout([] { kestrin::logError("GenFile: No stages found!"); });
        const QByteArray log = readLog();
        QCOMPARE(log.count('\n'), 1);
        QVERIFY(log.startsWith("Error("));
        QVERIFY(log.endsWith("):GenFile: No stages found!\n"));
        QVERIFY2(kTime.match(QString::fromLatin1(log.mid(6, 8))).hasMatch(), log.constData());
        QCOMPARE(out, log);
    }

    void laterCallsAppend()
    {
        QFile existing(QStringLiteral("debug.txt"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("earlier bytes\r\nwithout a final newline");
        existing.close();
        captureStdout([] {
            kestrin::logError("one");
            kestrin::logError("two");
            kestrin::logError("");
        });
        const QByteArray log = readLog();
        QVERIFY(log.startsWith("earlier bytes\r\nwithout a final newline"));
        const QList<QByteArray> lines = log.mid(38).split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith("Error(") && lines[0].endsWith("):one"));
        QVERIFY(lines[1].startsWith("Error(") && lines[1].endsWith("):two"));
        QVERIFY(lines[2].startsWith("Error(") && lines[2].endsWith("):"));
        QCOMPARE(lines[2].size(), 16); // "Error(" + HH:MM:SS + "):"
        QVERIFY(lines[3].isEmpty());
    }

    void messageBytesAreWrittenAsTheyAre()
    {
        const QByteArray message("line one\nline two \xE9\0end", 23);
        const QByteArray out = captureStdout([&] { kestrin::logError(message); });
        const QByteArray log = readLog();
        // The file holds the Latin-1 character é in the locale's encoding.
        QVERIFY(log.endsWith(QByteArray("):line one\nline two \xC3\xA9\0end\n", 27)));
        QCOMPARE(log.count('\n'), 2);
        // Standard output receives the bytes unchanged.
        QVERIFY(out.endsWith(QByteArray("):line one\nline two \xE9\0end\n", 26)));
    }

    void unwritableFileStillWritesStandardOutput()
    {
        // A folder in the way makes the file impossible to open, even for root.
        QVERIFY(QDir().mkdir(QStringLiteral("debug.txt")));
        const QByteArray out = captureStdout([] { kestrin::logError("still here"); });
        QVERIFY(out.startsWith("Error("));
        QVERIFY(out.endsWith("):still here\n"));
        QVERIFY(QFileInfo(QStringLiteral("debug.txt")).isDir());
    }
};

KESTRIN_TEST(LogTest)
#include "tst_diagnosticlog.moc"
