// Every input under palette-corpus/ goes through the palette parser exactly
// as the fuzzer sends it: valid-* must parse, broken-* must be refused.
#include "palettefuzz.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTest>

class PaletteReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(KESTRIN_FUZZ_DIR "/palette-corpus"));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
        QVERIFY(dir.entryList(QDir::Files).size() >= 6);
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const bool parsed = kestrinfuzz::exercisePaletteParser(file.readAll());
        QCOMPARE(parsed, QFileInfo(path).fileName().startsWith(QLatin1String("valid-")));
    }
};

KESTRIN_TEST(PaletteReplayTest)
#include "tst_palettereplay.moc"
