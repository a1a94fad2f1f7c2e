// examples/pipeline, copied elsewhere with the frame folders it names,
// configured and built with Ninja: every sprite once, then exactly the
// sprite whose frame changed, then nothing.
#include "fixtures.h"
#include "testmain.h"

#include "artfile/artreader.h"
#include "cli/artfileopen.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = fixture::ProcessRun;

Run runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return fixture::finish(process, 300000);
}

/** The commands a Ninja run printed ("Building sprite turret.art"), in order. */
QStringList commands(const QString &ninjaOutput)
{
    QStringList found;
    static const QRegularExpression line(QStringLiteral("^\\[\\d+/\\d+\\] (.*)$"), QRegularExpression::MultilineOption);
    for (auto match = line.globalMatch(ninjaOutput); match.hasNext();)
        found << match.next().captured(1);
    return found;
}

const QStringList kSprites = {QStringLiteral("blinker"), QStringLiteral("turret"), QStringLiteral("walker")};

} // namespace

class PipelineExampleTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_build;

    Run ninja(const QStringList &arguments) const
    {
        return runTool(QStringLiteral(KESTRIN_NINJA), QStringList{QStringLiteral("-C"), m_build} + arguments);
    }
    QString sprite(const QString &name) const { return m_build + QLatin1Char('/') + name + QStringLiteral(".art"); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(QStringLiteral(KESTRIN_NINJA)).isExecutable(),
                 "ninja was not found when the tests were configured; install ninja-build");
        // The example and only the frame folders it names, side by side as in the source tree.
        for (const QString &folder : {QStringLiteral("pipeline"), QStringLiteral("walker"), QStringLiteral("turret"),
                                      QStringLiteral("blinker")})
            QVERIFY(fixture::copyFolder(QStringLiteral(KESTRIN_EXAMPLES "/") + folder, m_dir.filePath(folder)));
        m_build = m_dir.filePath(QStringLiteral("build"));
        const Run configure = runTool(QStringLiteral(KESTRIN_CMAKE),
                                       {QStringLiteral("-S"), m_dir.filePath(QStringLiteral("pipeline")), QStringLiteral("-B"),
                                        m_build, QStringLiteral("-G"), QStringLiteral("Ninja"),
                                        QStringLiteral("-DCMAKE_MAKE_PROGRAM=" KESTRIN_NINJA),
                                        QStringLiteral("-DKESTRIN_ART=" KESTRIN_ART)});
        QVERIFY2(configure.exitCode == 0, qPrintable(configure.out + configure.err));
    }

    void firstBuildMakesEverySprite()
    {
        const Run build = ninja({});
        QVERIFY2(build.exitCode == 0, qPrintable(build.out + build.err));
        QStringList ran = commands(build.out);
        ran.sort();
        QCOMPARE(ran, QStringList({QStringLiteral("Building sprite blinker.art"), QStringLiteral("Building sprite turret.art"),
                                   QStringLiteral("Building sprite walker.art")}));
        for (const QString &name : kSprites) {
            kestrin::ArtFile art;
            QString error;
            QVERIFY2(fixture::succeeded(kestrin::readArtFile(sprite(name), art), error), qPrintable(name + QStringLiteral(": ") + error));
        }
        // The rules name the copied frames, each sprite its own folder's.
        const QByteArray rule = fixture::readAll(sprite(QStringLiteral("turret")) + QStringLiteral(".d"));
        QCOMPARE(rule.count(".png"), 16);
        QVERIFY(rule.contains(QFile::encodeName(m_dir.filePath(QStringLiteral("turret/turret08_0001.png")))));
        QVERIFY(!rule.contains("walker"));
    }

    void secondBuildDoesNothing()
    {
        const Run dry = ninja({QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("explain")});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY2(dry.out.contains(QStringLiteral("ninja: no work to do.")), qPrintable(dry.out + dry.err));
    }

    void touchedFrameRebuildsOnlyItsSprite()
    {
        QHash<QString, QDateTime> before;
        for (const QString &name : kSprites)
            before[name] = QFileInfo(sprite(name)).lastModified();
        const QString frame = m_dir.filePath(QStringLiteral("turret/turret03_0001.png"));
        QFile touched(frame);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime));
        touched.close();

        const Run dry = ninja({QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("explain")});
        QCOMPARE(dry.exitCode, 0);
        QCOMPARE(commands(dry.out), QStringList{QStringLiteral("Building sprite turret.art")});
        QVERIFY2(dry.err.contains(frame), qPrintable(dry.err)); // the reason Ninja gives is the touched frame

        const Run build = ninja({});
        QVERIFY2(build.exitCode == 0, qPrintable(build.out + build.err));
        QCOMPARE(commands(build.out), QStringList{QStringLiteral("Building sprite turret.art")});
        QVERIFY(QFileInfo(sprite(QStringLiteral("turret"))).lastModified() > before[QStringLiteral("turret")]);
        QCOMPARE(QFileInfo(sprite(QStringLiteral("walker"))).lastModified(), before[QStringLiteral("walker")]);
        QCOMPARE(QFileInfo(sprite(QStringLiteral("blinker"))).lastModified(), before[QStringLiteral("blinker")]);

        const Run again = ninja({QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("explain")});
        QVERIFY2(again.out.contains(QStringLiteral("ninja: no work to do.")), qPrintable(again.out + again.err));
    }
};

KESTRIN_TEST(PipelineExampleTest)
#include "tst_pipeline.moc"
