// Files the common tools write (make_corpus.py, run by CTest before this
// suite): each valid variant gives exactly its pixels (or the format tool's
// own decode), each broken one is refused with its reason, and no library
// says a word on standard error meanwhile.
#include "fixtures.h"
#include "decode/imagedecoder.h"
#include "quietstderr.h"
#include "testmain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>


using kestrin::DecodeFailure;
using kestrin::DecodeResult;

namespace {

QString corpusPath(const QString &name)
{
    return QStringLiteral(KESTRIN_DECODE_CORPUS "/") + name;
}

/** The manifest's rows whose second field is `kind`. */
QList<QStringList> manifestRows(const QString &kind)
{
    QList<QStringList> rows;
    QFile manifest(corpusPath(QStringLiteral("manifest.tsv")));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;
    while (!manifest.atEnd()) {
        const QStringList row = QString::fromUtf8(manifest.readLine()).chopped(1).split(QLatin1Char('\t'));
        if (row.size() >= 3 && row[1] == kind)
            rows.append(row);
    }
    return rows;
}

/** A reference written as "RGBA", width, height, then the pixels. */
QImage readReference(const QString &name)
{
    const QByteArray bytes = fixture::readAll(corpusPath(name));
    if (bytes.size() < 12 || !bytes.startsWith("RGBA"))
        return QImage();
    const quint32 width = qFromLittleEndian<quint32>(bytes.constData() + 4);
    const quint32 height = qFromLittleEndian<quint32>(bytes.constData() + 8);
    if (quint64(bytes.size()) != 12 + quint64(width) * height * 4)
        return QImage();
    QImage rgba(reinterpret_cast<const uchar *>(bytes.constData()) + 12, int(width), int(height), int(width) * 4,
                QImage::Format_RGBA8888);
    return rgba.convertToFormat(QImage::Format_ARGB32);
}

/** Decodes `path`; `said` receives what was written to standard error meanwhile. */
DecodeResult decodeQuietly(const QString &path, QByteArray &said)
{
    DecodeResult result;
    said = kestrintest::stderrOf([&] { result = kestrin::decodeImageFile(path); });
    return result;
}

/** The failure kind's name as the manifest writes it. */
QString kindName(DecodeFailure kind)
{
    static const char *names[] = {"None",     "NotRegularFile", "CannotOpen",  "CannotRead",
                                  "TooLarge", "NotAnImage",     "Unsupported", "Truncated"};
    return QString::fromLatin1(names[int(kind)]);
}

} // namespace

class DecodeCorpusTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(corpusPath(QStringLiteral("manifest.tsv"))),
                 "no corpus: CTest writes it with make_corpus.py before this suite runs");
    }

    void validFilesGiveTheirPixels_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reference");
        for (const QStringList &row : manifestRows(QStringLiteral("valid")))
            QTest::newRow(qPrintable(row[0])) << row[0] << row[2];
    }

    void validFilesGiveTheirPixels()
    {
        QFETCH(QString, file);
        QFETCH(QString, reference);
        QByteArray said;
        const DecodeResult result = decodeQuietly(corpusPath(file), said);
        QVERIFY2(result.ok(), qPrintable(result.message()));
        const QImage expected = readReference(reference);
        QVERIFY(!expected.isNull());
        QCOMPARE(result.image.size(), expected.size());
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                if (result.image.pixel(x, y) != expected.pixel(x, y))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, not %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(result.image.pixel(x, y), 8, 16, QLatin1Char('0'))
                                         .arg(expected.pixel(x, y), 8, 16, QLatin1Char('0'))));
            }
        }
        QCOMPARE(said, QByteArray());
    }

    void brokenFilesAreRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        for (const QStringList &row : manifestRows(QStringLiteral("broken")))
            QTest::newRow(qPrintable(row[0])) << row[0] << row[2] << row.value(3);
    }

    void brokenFilesAreRefused()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(QString, words);
        QByteArray said;
        const DecodeResult result = decodeQuietly(corpusPath(file), said);
        QVERIFY2(!result.ok(), "decoded without a word");
        QCOMPARE(kindName(result.failure.kind.as<DecodeFailure>()), kind);
        QVERIFY2(result.failure.reason.contains(words), qPrintable(result.failure.reason));
        QVERIFY2(!result.failure.reason.contains(QLatin1Char('\n')), qPrintable(result.failure.reason));
        QCOMPARE(said, QByteArray());
    }

    void filesLongerThanTheirHeaderAllowsAreNotRead_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        QTest::newRow("4 x 4 BMP") << fixture::bmpHeader(4, 4) + QByteArray(48, '\x40') << QStringLiteral("TooLarge")
                                   << QStringLiteral("a 4 x 4 image needs at most");
        QTest::newRow("no header any reader knows")
            << QByteArray("not an image at all") << QStringLiteral("NotAnImage") << QStringLiteral("recognises");
    }

    // The file is made sparse: 17 MiB that are never read.
    void filesLongerThanTheirHeaderAllowsAreNotRead()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, kind);
        QFETCH(QString, words);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("frame.bmp"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(head) == head.size());
        QVERIFY(file.resize(kestrin::maxFrameFileBytes(QSize(4, 4)) + 1));
        file.close();
        const DecodeResult result = kestrin::decodeImageFile(path);
        QCOMPARE(kindName(result.failure.kind.as<DecodeFailure>()), kind);
        QVERIFY2(result.failure.reason.contains(words), qPrintable(result.failure.reason));
        QVERIFY(file.resize(head.size()));
        QCOMPARE(kestrin::decodeImageFile(path).ok(), kind == QLatin1String("TooLarge"));
    }

    // The size probe reads a TIFF's header through libtiff, which warns
    // about tags it does not know: never on standard error.
    void sizeProbeOfATiffSaysNothing()
    {
        const QString path = corpusPath(QStringLiteral("predictor-ignored.tif"));
        kestrin::SizeProbe probe;
        const QByteArray said = kestrintest::stderrOf([&] { probe = kestrin::probeImageFile(path); });
        QVERIFY2(probe.ok(), qPrintable(probe.failure.reason));
        QCOMPARE(probe.size, QSize(61, 20));
        QCOMPARE(said, QByteArray());
    }
};

KESTRIN_TEST(DecodeCorpusTest)
#include "tst_corpus.moc"
