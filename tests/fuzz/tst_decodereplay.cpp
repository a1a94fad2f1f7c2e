// Every input under decode-corpus/ and decode-regressions/ goes through the
// frame decoder exactly as the fuzzer sends it (first byte: the name suffix).
// Corpus files named valid-* must decode and broken-* must be refused;
// regression inputs (earlier crashes) must simply come back.
#include "imagedecodefuzz.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTest>

class DecodeReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        int count = 0;
        for (const char *folder : {"decode-corpus", "decode-regressions"}) {
            const QDir dir(QStringLiteral(KESTRIN_FUZZ_DIR "/") + QLatin1String(folder));
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                if (name.endsWith(QLatin1String(".md")))
                    continue;
                QTest::newRow(qPrintable(QLatin1String(folder) + QLatin1Char('/') + name)) << dir.filePath(name);
                ++count;
            }
        }
        QVERIFY(count >= 20);
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const bool decoded = kestrinfuzz::exerciseImageDecoder(file.readAll());
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith(QLatin1String("valid-")))
            QVERIFY(decoded);
        if (name.startsWith(QLatin1String("broken-")))
            QVERIFY(!decoded);
    }
};

KESTRIN_TEST(DecodeReplayTest)
#include "tst_decodereplay.moc"
