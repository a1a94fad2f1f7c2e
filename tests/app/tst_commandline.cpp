// The command line of the window: files to open, help and version without a
// display, and the usage error for an option it does not know.
#include "testmain.h"

#include "app/windowcommandline.h"
#include "fixtures.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class WindowCommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("text"); // a part of what is printed
        using L = WindowCommandLine;
        QTest::newRow("nothing") << QStringList() << int(L::Run) << QStringList() << QString();
        QTest::newRow("files and Qt's options")
            << QStringList{"a.art", "-style", "fusion", "-reverse", "--platform=offscreen", "-", "b.art"} << int(L::Run)
            << QStringList{"a.art", "-", "b.art"} << QString();
        QTest::newRow("a file after --") << QStringList{"--", "-odd.art"} << int(L::Run) << QStringList{"-odd.art"}
                                         << QString();
        QTest::newRow("help") << QStringList{"x.art", "--help"} << int(L::Help) << QStringList() << "Usage: kestrin";
        QTest::newRow("version") << QStringList{"-v"} << int(L::Version) << QStringList()
                                 << "kestrin " KESTRIN_VERSION "\n";
        QTest::newRow("unknown option") << QStringList{"--frob"} << int(L::Usage) << QStringList()
                                        << "kestrin: unknown option '--frob'";
        QTest::newRow("Qt option without its value")
            << QStringList{"-style"} << int(L::Usage) << QStringList() << "option '-style' needs a value";
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, kind);
        QFETCH(QStringList, files);
        QFETCH(QString, text);
        const WindowCommandLine line = parseWindowCommandLine(QStringList{"kestrin"} + arguments);
        QCOMPARE(int(line.kind), kind);
        QCOMPARE(line.files, files);
        QVERIFY2(line.text.contains(text), qPrintable(line.text));
    }

    // Run as a program on a platform that needs a display, with none: only
    // a run that never starts Qt's GUI gets through.
    void helpVersionAndUsageNeedNoDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("onStdout");
        QTest::newRow("--help") << "--help" << 0 << true;
        QTest::newRow("--version") << "--version" << 0 << true;
        QTest::newRow("unknown") << "--no-such-option" << 2 << false;
    }

    void helpVersionAndUsageNeedNoDisplay()
    {
        QFETCH(QString, option);
        QFETCH(int, exitCode);
        QFETCH(bool, onStdout);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KESTRIN_WINDOW), {option});
        const fixture::ProcessRun run = fixture::finish(process, 30000);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out.isEmpty(), !onStdout);
        QCOMPARE(run.err.isEmpty(), onStdout);
    }
};

KESTRIN_TEST(WindowCommandLineTest)
#include "tst_commandline.moc"
