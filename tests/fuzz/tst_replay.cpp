// Every input under corpus/ and regressions/ goes through the reader exactly
// as the fuzzer sends it. Corpus files named valid-* must parse and broken-*
// must be refused; regression inputs (earlier crashes) must simply come back.
#include "artreaderfuzz.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTest>

class FuzzReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        int count = 0;
        for (const char *folder : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(KESTRIN_FUZZ_DIR "/") + QLatin1String(folder));
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                if (name.endsWith(QLatin1String(".md")))
                    continue;
                QTest::newRow(qPrintable(QLatin1String(folder) + QLatin1Char('/') + name)) << dir.filePath(name);
                ++count;
            }
        }
        QVERIFY(count >= 8);
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const bool parsed = kestrinfuzz::exerciseArtReader(bytes);
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith(QLatin1String("valid-")))
            QVERIFY(parsed);
        if (name.startsWith(QLatin1String("broken-")))
            QVERIFY(!parsed);
    }
};

KESTRIN_TEST(FuzzReplayTest)
#include "tst_replay.moc"
