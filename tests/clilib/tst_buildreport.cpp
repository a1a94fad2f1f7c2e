// What a job reports: the files it read and the frames as written, and the
// dependency rule built from them, quoted as GCC's -MD output quotes names.
#include "fixtures.h"
#include "testmain.h"
#include "fileio/failure.h"

#include "cli/buildreport.h"
#include "generate/generation.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using kestrin::BuildRequest;
using kestrin::FailureKind;
using kestrin::GenerationOutcome;

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Every row is a name and its quoting, which make 4.3 and ninja 1.11
    // both read back as the name (as gcc 12 -MD writes, with ':' escaped).
    void namesAreQuotedAsGccQuotesThem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("quoted");
        QTest::newRow("plain") << QByteArray("frames/camera01_0000.bmp") << QByteArray("frames/camera01_0000.bmp");
        QTest::newRow("space") << QByteArray("sp ace.h") << QByteArray("sp\\ ace.h");
        QTest::newRow("hash") << QByteArray("ha#sh.h") << QByteArray("ha\\#sh.h");
        QTest::newRow("dollar") << QByteArray("dol$lar.h") << QByteArray("dol$$lar.h");
        QTest::newRow("backslash alone") << QByteArray("back\\slash.h") << QByteArray("back\\slash.h");
        QTest::newRow("backslash before space") << QByteArray("bs\\ sp.h") << QByteArray("bs\\\\\\ sp.h");
        QTest::newRow("two backslashes before space") << QByteArray("tw\\\\ o.h") << QByteArray("tw\\\\\\\\\\ o.h");
        QTest::newRow("colon and percent") << QByteArray("co:lon%.h") << QByteArray("co\\:lon%.h");
        QTest::newRow("UTF-8") << QByteArray("d\xc3\xa9j\xc3\xa0 vu.png") << QByteArray("d\xc3\xa9j\xc3\xa0\\ vu.png");
    }
    void namesAreQuotedAsGccQuotesThem()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, quoted);
        const std::optional<QByteArray> result = kestrin::makeQuoted(name);
        QVERIFY(result.has_value());
        QCOMPARE(*result, quoted);
    }

    // Make and Ninja read these back differently whatever the quoting.
    void namesWithoutAQuotingAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("line feed") << QByteArray("a\nb.png");
        QTest::newRow("carriage return") << QByteArray("a\rb.png");
        QTest::newRow("trailing backslash") << QByteArray("frame\\");
        QTest::newRow("tab") << QByteArray("ta\tb.h");
        QTest::newRow("semicolon") << QByteArray("a;b.png");
    }
    void namesWithoutAQuotingAreRefused()
    {
        QFETCH(QByteArray, name);
        QVERIFY(!kestrin::makeQuoted(name).has_value());
        QByteArray rule;
        const kestrin::Failure failure =
            kestrin::dependencyRule(QStringLiteral("x.d"), QStringLiteral("x.art"), {QString::fromUtf8(name)}, &rule);
        QCOMPARE(failure.kind, FailureKind(kestrin::FileFailure::CannotWriteFile));
        QCOMPARE(failure.path, QStringLiteral("x.d"));
        QVERIFY(rule.isEmpty());
    }

    // A file that a project lists for several frames is named once; the
    // files come in the order the frames use them.
    void inputsAreEachFileReadOnceInFrameOrder()
    {
        const QString folder = dir.filePath(QStringLiteral("still/"));
        QVERIFY(fixture::writeImage(folder + QStringLiteral("pose01.png"), fixture::flat(4, 3, fixture::bgr(9, 8, 7))));
        QVERIFY(fixture::writeImage(folder + QStringLiteral("pose02.png"), fixture::flat(5, 2, fixture::bgr(1, 2, 3))));
        BuildRequest request;
        const kestrin::ListedFrame first{folder + QStringLiteral("pose01.png"), std::nullopt};
        const kestrin::ListedFrame second{folder + QStringLiteral("pose02.png"), std::nullopt};
        request.frames = kestrin::FrameList{{first, first, first}, {second, second, second}};
        request.target = dir.filePath(QStringLiteral("still.art"));
        const GenerationOutcome outcome = kestrin::buildSprite(request);
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.inputFiles, QStringList({folder + QStringLiteral("pose01.png"),
                                                  folder + QStringLiteral("pose02.png")}));
        QCOMPARE(outcome.frames.size(), size_t(6));
        QCOMPARE(outcome.frames[4].file, folder + QStringLiteral("pose02.png"));
        QCOMPARE(outcome.frames[4].stage, 1u);
        QCOMPARE(outcome.frames[4].frame, 1u);
    }

    // The trim rectangle, the source size and the centre agree for trimmed,
    // untrimmed and empty frames.
    void trimRectangleLiesInTheSource_data()
    {
        QTest::addColumn<bool>("trim");
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QRect>("rect");
        const quint32 back = fixture::bgr(200, 0, 200);
        const QImage dot = fixture::image(7, 5, [=](int x, int y) { return x == 4 && y >= 1 && y <= 2 ? 0xff000000u : back; });
        QTest::newRow("untrimmed") << false << dot << QRect(0, 0, 7, 5);
        QTest::newRow("trimmed") << true << dot << QRect(4, 1, 1, 2);
        QTest::newRow("nothing but background") << true << fixture::flat(6, 4, back) << QRect();
    }
    void trimRectangleLiesInTheSource()
    {
        QFETCH(bool, trim);
        QFETCH(QImage, image);
        QFETCH(QRect, rect);
        const QString folder = dir.filePath(QStringLiteral("trim%1/").arg(QTest::currentDataTag()));
        QVERIFY(fixture::writeImage(folder + QStringLiteral("camera01_0000.png"), image));
        BuildRequest request;
        request.source.folder = folder;
        request.source.pattern = QStringLiteral("camera%1_%2.png");
        request.trim = trim;
        request.target = folder + QStringLiteral("out.art");
        const GenerationOutcome outcome = kestrin::buildSprite(request);
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.frames.size(), size_t(1));
        const kestrin::FrameReport &f = outcome.frames[0];
        QCOMPARE(f.source, image.size());
        QCOMPARE(f.trim.size(), QSize(f.width, f.height));
        if (!rect.isNull()) {
            QCOMPARE(f.trim, rect);
            QVERIFY(QRect(QPoint(0, 0), f.source).contains(f.trim));
            QCOMPARE(f.centerX, f.source.width() / 2 - f.trim.left());
            QCOMPARE(f.centerY, f.source.height() / 2 - f.trim.top());
        }
    }

    // Warnings, which other settings produce, reach the report by kind.
    void warningsAreReportedByKind()
    {
        GenerationOutcome outcome;
        outcome.warnings.push_back({kestrin::GenerationWarning::Kind::MadeOpaque, 12, 3});
        const QJsonArray warnings = kestrin::buildReport(outcome, QString()).value(QStringLiteral("warnings")).toArray();
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.at(0).toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("made-opaque"));
        QCOMPARE(warnings.at(0).toObject().value(QStringLiteral("pixels")).toInt(), 12);
        QCOMPARE(warnings.at(0).toObject().value(QStringLiteral("frames")).toInt(), 3);
    }
};

KESTRIN_TEST(TestReport)
#include "tst_buildreport.moc"
