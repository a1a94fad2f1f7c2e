// kestrin-art build --json and --depfile: the report against the file it
// describes, the errors it carries, and the rule a build system reads.
#include "artfile/artreader.h"
#include "cli/artfileopen.h"
#include "clifixtures.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace clifixture;

namespace {

/** Standard output as one JSON object; fails the test unless it is exactly that. */
QJsonObject onlyJson(const Run &cli)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(cli.out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning() << "not one JSON object:" << error.errorString() << cli.out;
    return document.object();
}

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_frames;      // 8 stages of 3 PNG frames, in a folder whose name Make must have quoted
    QStringList m_inputs;  // their paths, in frame order

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QStringList buildArgs(const QString &target, const QStringList &more = {}) const
    {
        return QStringList{QStringLiteral("build"), m_frames, QStringLiteral("-o"), target, QStringLiteral("--pattern"),
                           QStringLiteral("c%1_%2.png"), QStringLiteral("--type"), QStringLiteral("rotatable"),
                           QStringLiteral("--trim"), QStringLiteral("--palettes"), QStringLiteral("2")}
            + more;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_frames = path(QStringLiteral("sp rites#$\\x"));
        QVERIFY(writeFrames(m_frames, QStringLiteral("c%1_%2.png"), {1, 2, 3, 4, 5, 6, 7, 8}, [](int) { return 3; }));
        for (int s = 1; s <= 8; ++s)
            for (int f = 0; f < 3; ++f)
                m_inputs << QStringLiteral("%1/c%2_%3.png").arg(m_frames).arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
    }

    void reportDescribesTheWrittenFile()
    {
        const QString target = path(QStringLiteral("hero.art"));
        const Run cli = run(buildArgs(target, {QStringLiteral("--json")}));
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        const QJsonObject report = onlyJson(cli);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::readArtFile(target, art), error), qPrintable(error));

        QCOMPARE(report.value(QStringLiteral("ok")).toBool(), true);
        QVERIFY(!report.contains(QStringLiteral("error")));
        QCOMPARE(report.value(QStringLiteral("target")).toString(), target);
        QCOMPARE(report.value(QStringLiteral("bytes")).toInteger(), qint64(art.bytes.size()));
        QCOMPARE(report.value(QStringLiteral("type")).toString(), QStringLiteral("rotatable"));
        QCOMPARE(report.value(QStringLiteral("stages")).toInt(), int(art.rowCount()));
        QCOMPARE(report.value(QStringLiteral("framesPerStage")).toInt(), int(art.framesPerDirection));
        QCOMPARE(report.value(QStringLiteral("palettes")).toInt(), int(art.paletteCount));
        QCOMPARE(report.value(QStringLiteral("colors")).toInt(), art.colorCount()); // no colour is pure black
        QCOMPARE(report.value(QStringLiteral("warnings")).toArray().size(), 0);
        const QJsonObject timings = report.value(QStringLiteral("timingsMs")).toObject();
        for (const char *part : {"load", "reduce", "map", "write"}) {
            QVERIFY2(timings.value(QLatin1String(part)).isDouble(), part);
            QVERIFY(timings.value(QLatin1String(part)).toDouble() >= 0);
        }
        QVERIFY(timings.value(QStringLiteral("load")).toDouble() > 0);

        QStringList inputs;
        for (const QJsonValue &input : report.value(QStringLiteral("inputs")).toArray())
            inputs << input.toString();
        QCOMPARE(inputs, m_inputs);
        const QJsonArray frames = report.value(QStringLiteral("frames")).toArray();
        QCOMPARE(frames.size(), int(art.frames.size()));
        for (int i = 0; i < frames.size(); ++i) {
            const QJsonObject f = frames.at(i).toObject();
            const kestrin::ArtFrame &written = art.frames[size_t(i)];
            const QJsonObject trim = f.value(QStringLiteral("trim")).toObject();
            QCOMPARE(f.value(QStringLiteral("stage")).toInt(), i / 3);
            QCOMPARE(f.value(QStringLiteral("frame")).toInt(), i % 3);
            QCOMPARE(f.value(QStringLiteral("file")).toString(), m_inputs[i]);
            QCOMPARE(f.value(QStringLiteral("width")).toInt(), written.width);
            QCOMPARE(f.value(QStringLiteral("height")).toInt(), written.height);
            QCOMPARE(f.value(QStringLiteral("centerX")).toInt(), written.centerX);
            QCOMPARE(f.value(QStringLiteral("centerY")).toInt(), written.centerY);
            // The fixture's frame (s, f) is (4 + s) x (3 + f) pixels, stage numbers from 1.
            QCOMPARE(f.value(QStringLiteral("sourceWidth")).toInt(), 4 + i / 3 + 1);
            QCOMPARE(f.value(QStringLiteral("sourceHeight")).toInt(), 3 + i % 3);
            QCOMPARE(trim.value(QStringLiteral("width")).toInt(), written.width);
            QCOMPARE(trim.value(QStringLiteral("height")).toInt(), written.height);
            QCOMPARE(written.centerX, f.value(QStringLiteral("sourceWidth")).toInt() / 2 - trim.value(QStringLiteral("left")).toInt());
            QCOMPARE(written.centerY, f.value(QStringLiteral("sourceHeight")).toInt() / 2 - trim.value(QStringLiteral("top")).toInt());
        }
        // Progress and notes never reach standard output.
        QVERIFY(cli.err.contains(QStringLiteral("kestrin-art: Generation successful!")));
    }

    // Every failure still ends with one JSON object, whose error names the
    // same file as the line on standard error; an existing depfile stays.
    void failureReportsItsError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("errorPath");
        const QString missing = path(QStringLiteral("missing"));
        QTest::newRow("no folder") << QStringList{QStringLiteral("build"), missing, QStringLiteral("-o"),
                                                  path(QStringLiteral("f1.art"))}
                                   << QStringLiteral("no-such-folder") << missing;
        QTest::newRow("no target folder") << buildArgs(path(QStringLiteral("nowhere/f2.art")))
                                          << QStringLiteral("cannot-create-file") << path(QStringLiteral("nowhere/f2.art"));
        QStringList static3 = buildArgs(path(QStringLiteral("f3.art")), {QStringLiteral("--stage-max"), QStringLiteral("4")});
        QTest::newRow("rotatable of 3 stages") << static3 << QStringLiteral("wrong-stage-count") << m_frames + QLatin1Char('/');
    }
    void failureReportsItsError()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, kind);
        QFETCH(QString, errorPath);
        const QString depfile = path(QStringLiteral("kept.d"));
        QVERIFY(writeAll(depfile, "old rule\n"));
        const Run cli = run(arguments + QStringList{QStringLiteral("--json"), QStringLiteral("--depfile"), depfile});
        QCOMPARE(cli.exitCode, 1);
        const QJsonObject report = onlyJson(cli);
        QCOMPARE(report.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(report.value(QStringLiteral("bytes")).toInt(), 0);
        const QJsonObject error = report.value(QStringLiteral("error")).toObject();
        QCOMPARE(error.value(QStringLiteral("kind")).toString(), kind);
        QCOMPARE(error.value(QStringLiteral("path")).toString(), errorPath);
        const QString message = error.value(QStringLiteral("message")).toString();
        QVERIFY(!message.isEmpty());
        QVERIFY2(cli.err.contains(QStringLiteral("kestrin-art: %1: %2").arg(errorPath, message)), qPrintable(cli.err));
        QCOMPARE(readAll(depfile), QByteArray("old rule\n"));
    }

    void optionsThatShareStandardOutputAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("option");
        QTest::newRow("--json, file to stdout") << QStringList{QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("--json")} << QStringLiteral("--json");
        QTest::newRow("--depfile, file to stdout") << QStringList{QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("--depfile"), QStringLiteral("a.d")} << QStringLiteral("--depfile");
        QTest::newRow("--depfile - with --json") << QStringList{QStringLiteral("-o"), QStringLiteral("a.art"), QStringLiteral("--depfile"), QStringLiteral("-"), QStringLiteral("--json")} << QStringLiteral("--depfile -");
        QTest::newRow("--depfile empty") << QStringList{QStringLiteral("-o"), QStringLiteral("a.art"), QStringLiteral("--depfile="), QStringLiteral("--json")} << QStringLiteral("--depfile");
    }
    void optionsThatShareStandardOutputAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, option);
        const Run cli = run(QStringList{QStringLiteral("build"), m_frames} + arguments);
        QCOMPARE(cli.exitCode, 2);
        QCOMPARE(cli.out, QString());
        QVERIFY2(cli.err.startsWith(QStringLiteral("kestrin-art: %1: ").arg(option)), qPrintable(cli.err));
    }

    // The rule names the target, then every frame file in order, quoted as
    // GCC quotes names (the folder holds a space, '#', '$' and a backslash).
    void depfileNamesEveryFileRead_data()
    {
        QTest::addColumn<bool>("toStdout");
        QTest::newRow("file") << false;
        QTest::newRow("standard output") << true;
    }
    void depfileNamesEveryFileRead()
    {
        QFETCH(bool, toStdout);
        const QString target = path(QStringLiteral("dep target.art"));
        const QString depfile = toStdout ? QStringLiteral("-") : path(QStringLiteral("dep target.art.d"));
        const Run cli = run(buildArgs(target, {QStringLiteral("--depfile"), depfile}));
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        const QByteArray rule = toStdout ? cli.out.toUtf8() : readAll(depfile);
        const QByteArray folder = QFile::encodeName(m_frames).replace("sp rites#$\\x", "sp\\ rites\\#$$\\x");
        QByteArray expected = QFile::encodeName(target).replace(" ", "\\ ") + ":";
        for (int s = 1; s <= 8; ++s)
            for (int f = 0; f < 3; ++f)
                expected += (s == 1 && f == 0 ? " " : " \\\n  ") + folder + "/c0" + QByteArray::number(s) + "_000"
                    + QByteArray::number(f) + ".png";
        QCOMPARE(rule, expected + "\n");
    }

    // When the depfile cannot be written the job fails, naming it, and the
    // target is not written either.
    void depfileThatCannotBeWrittenFailsTheJob()
    {
        const QString target = path(QStringLiteral("late.art"));
        const QString depfile = path(QStringLiteral("no/such/folder.d"));
        const Run cli = run(buildArgs(target, {QStringLiteral("--depfile"), depfile, QStringLiteral("--json")}));
        QCOMPARE(cli.exitCode, 1);
        const QJsonObject error = onlyJson(cli).value(QStringLiteral("error")).toObject();
        QCOMPARE(error.value(QStringLiteral("kind")).toString(), QStringLiteral("cannot-create-file"));
        QCOMPARE(error.value(QStringLiteral("path")).toString(), depfile);
        QVERIFY2(cli.err.contains(QStringLiteral("kestrin-art: %1: ").arg(depfile)), qPrintable(cli.err));
        QVERIFY(!QFile::exists(target));
    }
};

KESTRIN_TEST(ReportTest)
#include "tst_report.moc"
