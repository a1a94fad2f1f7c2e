// kestrin-art never loses data: unreadable frames fail the job, outputs
// never touch inputs, a job's outputs are all-or-nothing, every stream is
// checked, names are taken byte for byte. Permission cases run in an
// unprivileged child (nobody) when the suite runs as root.
#include "clifixtures.h"
#include "specialfiles.h"
#include "testmain.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <fcntl.h>
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
};

KESTRIN_TEST(CliSafetyTest)
#include "tst_safety.moc"
