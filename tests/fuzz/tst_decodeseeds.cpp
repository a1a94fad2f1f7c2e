// The decoder's committed seeds are the ones decodeseeds.h makes: the same
// names, and the same bytes wherever those do not depend on the versions of
// Qt's image writers. And every seed as made here does what its name says,
// so remaking the seeds on another machine cannot quietly weaken them.
#include "decodeseeds.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTest>

class DecodeSeedsTest : public QObject
{
    Q_OBJECT

private slots:
    void committedSeedsAreTheMadeOnes()
    {
        const QDir dir(QStringLiteral(KESTRIN_FUZZ_DIR "/decode-corpus"));
        QStringList committed = dir.entryList(QDir::Files, QDir::Name);
        committed.removeIf([](const QString &name) { return name.endsWith(QLatin1String(".md")); });
        QStringList made;
        QStringList differing;
        for (const kestrinfuzz::DecodeSeed &seed : kestrinfuzz::decodeSeeds()) {
            made.append(seed.name);
            QFile file(dir.filePath(seed.name));
            if (seed.ownBytes && file.open(QIODevice::ReadOnly) && file.readAll() != seed.bytes)
                differing.append(seed.name);
        }
        QStringList missing = made;
        missing.removeIf([&](const QString &name) { return committed.contains(name); });
        committed.removeIf([&](const QString &name) { return made.contains(name); });
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("missing: ") + missing.join(QStringLiteral(", "))));
        QVERIFY2(committed.isEmpty(), qPrintable(QStringLiteral("not made by decodeseeds.h: ")
                                                 + committed.join(QStringLiteral(", "))));
        QVERIFY2(differing.isEmpty(), qPrintable(QStringLiteral("not what make_decode_seeds writes: ")
                                                 + differing.join(QStringLiteral(", "))));
    }

    void madeSeedsDoWhatTheirNamesSay_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        for (const kestrinfuzz::DecodeSeed &seed : kestrinfuzz::decodeSeeds()) {
            QVERIFY(seed.name.startsWith(QLatin1String("valid-")) || seed.name.startsWith(QLatin1String("broken-")));
            QTest::newRow(qPrintable(seed.name)) << seed.bytes << seed.name.startsWith(QLatin1String("valid-"));
        }
    }

    void madeSeedsDoWhatTheirNamesSay()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(kestrinfuzz::exerciseImageDecoder(bytes), valid);
    }
};

KESTRIN_TEST(DecodeSeedsTest)
#include "tst_decodeseeds.moc"
