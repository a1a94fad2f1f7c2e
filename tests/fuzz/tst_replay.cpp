// Every saved input of the three fuzz targets goes through its target exactly
// as the fuzzer sends it. Corpus files named valid-* must pass and broken-*
// must be refused (every palette seed is one or the other); regression inputs
// (earlier crashes) must simply come back.
#include "artreaderfuzz.h"
#include "imagedecodefuzz.h"
#include "palettefuzz.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

using Exercise = bool (*)(const QByteArray &);

struct Target {
    const char *name;
    Exercise exercise;
    std::initializer_list<const char *> folders;
    int minimumInputs;
    bool onlyValidPasses; // names other than valid-* must be refused too
};

const Target kTargets[] = {
    {"art", kestrinfuzz::exerciseArtReader, {"corpus", "regressions"}, 8, false},
    {"decode", kestrinfuzz::exerciseImageDecoder, {"decode-corpus", "decode-regressions"}, 20, false},
    {"palette", kestrinfuzz::exercisePaletteParser, {"palette-corpus"}, 6, true},
};

} // namespace

Q_DECLARE_METATYPE(const Target *)

class FuzzReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<const Target *>("target");
        QTest::addColumn<QString>("path");
        for (const Target &target : kTargets) {
            int count = 0;
            for (const char *folder : target.folders) {
                const QDir dir(QStringLiteral(KESTRIN_FUZZ_DIR "/") + QLatin1String(folder));
                for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                    if (name.endsWith(QLatin1String(".md")))
                        continue;
                    QTest::newRow(qPrintable(QLatin1String(folder) + QLatin1Char('/') + name))
                        << &target << dir.filePath(name);
                    ++count;
                }
            }
            QVERIFY2(count >= target.minimumInputs, target.name);
        }
    }

    void replay()
    {
        QFETCH(const Target *, target);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const bool passed = target->exercise(file.readAll());
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith(QLatin1String("valid-")))
            QVERIFY(passed);
        else if (name.startsWith(QLatin1String("broken-")) || target->onlyValidPasses)
            QVERIFY(!passed);
    }
};

KESTRIN_TEST(FuzzReplayTest)
#include "tst_replay.moc"
