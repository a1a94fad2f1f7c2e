// Palette files: what each format gives, and where and why a malformed one
// is refused.
#include "fixtures.h"
#include "testmain.h"
#include "wording/failuretext.h"
#include "fileio/failure.h"
#include "palettes/palettefailure.h"

#include "generate/artwriter.h"
#include "palettes/palettefile.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

using kestrin::FailureKind;
using kestrin::PaletteFile;
using kestrin::PaletteFormat;

Q_DECLARE_METATYPE(PaletteFormat)

namespace {

/** The entries of a palette as 0x00RRGGBB. */
QList<quint32> colours(const PaletteFile &palette)
{
    QList<quint32> out;
    for (int i = 0; i < palette.count; ++i) {
        const quint8 *e = palette.entries + 4 * i;
        out << (quint32(e[2]) << 16 | quint32(e[1]) << 8 | e[0]);
    }
    return out;
}

QByteArray colorTable(int entries, int count = -1, int transparent = 0xffff)
{
    QByteArray bytes(768, '\0');
    for (int i = 0; i < entries; ++i) {
        bytes[3 * i] = char(i);         // red
        bytes[3 * i + 1] = char(255 - i); // green
        bytes[3 * i + 2] = char(7);     // blue
    }
    if (count >= 0) {
        bytes += char(count >> 8);
        bytes += char(count & 0xff);
        bytes += char(transparent >> 8);
        bytes += char(transparent & 0xff);
    }
    return bytes;
}

QByteArray lines(int n, const QByteArray &line)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += line + '\n';
    return out;
}

} // namespace

class TestPaletteFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void validPalettes_data()
    {
        QTest::addColumn<PaletteFormat>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<quint32>>("first"); // the first entries, in file order

        QTest::newRow("gpl with header lines, comments and names")
            << PaletteFormat::Gimp
            << QByteArray("GIMP Palette\nName: Swamp\nColumns: 4\n#\n# comment\n  0   0   0\tBlack\n"
                          "255 128  1 Orange two words\n\n 16 32 64\n")
            << 3 << QList<quint32>{0x000000, 0xff8001, 0x102040};
        QTest::newRow("gpl with CR LF and a byte order mark")
            << PaletteFormat::Gimp << QByteArray("\xEF\xBB\xBFGIMP Palette\r\n1 2 3\r\n4 5 6 x\r\n") << 2
            << QList<quint32>{0x010203, 0x040506};
        QTest::newRow("gpl of 256 entries") << PaletteFormat::Gimp << "GIMP Palette\n" + lines(256, "9 8 7") << 256
                                            << QList<quint32>{0x090807};
        QTest::newRow("jasc") << PaletteFormat::Jasc << QByteArray("JASC-PAL\n0100\n3\n255 0 0\n0 255 0\n0 0 255\n")
                              << 3 << QList<quint32>{0xff0000, 0x00ff00, 0x0000ff};
        QTest::newRow("jasc with CR LF and a final empty line")
            << PaletteFormat::Jasc << QByteArray("JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n\r\n") << 2
            << QList<quint32>{0x010203, 0x040506};
        QTest::newRow("act of 768 bytes: 256 entries") << PaletteFormat::ColorTable << colorTable(256) << 256
                                                       << QList<quint32>{0x00ff07, 0x01fe07};
        QTest::newRow("act with count 3 and transparent index 1")
            << PaletteFormat::ColorTable << colorTable(256, 3, 1) << 3
            << QList<quint32>{0x00ff07, 0x01fe07, 0x02fd07};
        QTest::newRow("act with count 256, no transparent index")
            << PaletteFormat::ColorTable << colorTable(256, 256) << 256 << QList<quint32>{0x00ff07};
    }
    void validPalettes()
    {
        QFETCH(PaletteFormat, format);
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        QFETCH(QList<quint32>, first);
        PaletteFile palette;
        const kestrin::Failure failure = kestrin::parsePalette(format, bytes, QStringLiteral("p"), &palette);
        QVERIFY2(!failure, qPrintable(kestrin::describeFailure(failure)));
        QCOMPARE(palette.count, count);
        QCOMPARE(colours(palette).mid(0, first.size()), first);
        for (int i = 4 * count; i < 1024; ++i)
            QCOMPARE(palette.entries[i], quint8(0));
        for (int i = 0; i < count; ++i)
            QCOMPARE(palette.entries[4 * i + 3], quint8(0));
    }

    void malformedPalettes_data()
    {
        QTest::addColumn<PaletteFormat>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<FailureKind>("kind");
        QTest::addColumn<qint64>("found"); // the line, the byte, or the count
        QTest::addColumn<QString>("reason"); // part of the message

        const auto gpl = PaletteFormat::Gimp, jasc = PaletteFormat::Jasc, act = PaletteFormat::ColorTable;
        QTest::newRow("gpl without its first line") << gpl << QByteArray("1 2 3\n") << FailureKind(kestrin::PaletteFailure::PaletteLineError)
                                                    << qint64(1) << "starts with the line \"GIMP Palette\"";
        QTest::newRow("gpl value 256") << gpl << QByteArray("GIMP Palette\n# c\n1 2 3\n1 256 3\n")
                                       << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(4) << "\"256\" is not a colour value";
        QTest::newRow("gpl two numbers") << gpl << QByteArray("GIMP Palette\n1 2\n") << FailureKind(kestrin::PaletteFailure::PaletteLineError)
                                         << qint64(2) << "expected red, green and blue";
        QTest::newRow("gpl negative") << gpl << QByteArray("GIMP Palette\n-1 2 3\n") << FailureKind(kestrin::PaletteFailure::PaletteLineError)
                                      << qint64(2) << "not a colour value";
        QTest::newRow("gpl of 257 entries") << gpl << "GIMP Palette\n" + lines(257, "1 2 3")
                                            << FailureKind(kestrin::PaletteFailure::PaletteTooLarge) << qint64(257) << "257 entries";
        QTest::newRow("gpl without colours") << gpl << QByteArray("GIMP Palette\nName: x\n")
                                             << FailureKind(kestrin::PaletteFailure::PaletteTooSmall) << qint64(0) << "0 entries";
        QTest::newRow("jasc without magic") << jasc << QByteArray("JASC\n0100\n1\n1 2 3\n")
                                            << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(1) << "JASC-PAL";
        QTest::newRow("jasc wrong version") << jasc << QByteArray("JASC-PAL\n0200\n1\n1 2 3\n")
                                            << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(2) << "0100";
        QTest::newRow("jasc count not a number") << jasc << QByteArray("JASC-PAL\n0100\nmany\n")
                                                 << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(3) << "not a colour count";
        QTest::newRow("jasc count 300") << jasc << QByteArray("JASC-PAL\n0100\n300\n1 2 3\n")
                                        << FailureKind(kestrin::PaletteFailure::PaletteTooLarge) << qint64(300) << "300 entries";
        QTest::newRow("jasc count 0") << jasc << QByteArray("JASC-PAL\n0100\n0\n") << FailureKind(kestrin::PaletteFailure::PaletteTooSmall)
                                      << qint64(0) << "0 entries";
        QTest::newRow("jasc ends early") << jasc << QByteArray("JASC-PAL\n0100\n3\n1 2 3\n4 5 6\n")
                                         << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(6) << "after 2 of the 3 colours";
        QTest::newRow("jasc more lines than its count")
            << jasc << QByteArray("JASC-PAL\n0100\n1\n1 2 3\n4 5 6\n") << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(5)
            << "more colours than the 1 of line 3";
        QTest::newRow("jasc line with alpha") << jasc << QByteArray("JASC-PAL\n0100\n1\n1 2 3 255\n")
                                              << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(4) << "is not a colour";
        QTest::newRow("binary RIFF palette named .pal") << jasc << QByteArray("RIFF\x10\0\0\0PAL data", 16)
                                                        << FailureKind(kestrin::PaletteFailure::PaletteLineError) << qint64(1) << "RIFF";
        QTest::newRow("act of 100 bytes") << act << QByteArray(100, '\1') << FailureKind(kestrin::PaletteFailure::PaletteByteError)
                                          << qint64(100) << "this file has 100";
        QTest::newRow("act count 0") << act << colorTable(256, 0) << FailureKind(kestrin::PaletteFailure::PaletteByteError) << qint64(768)
                                     << "colour count is 0";
        QTest::newRow("act count 257") << act << colorTable(256, 257) << FailureKind(kestrin::PaletteFailure::PaletteTooLarge) << qint64(257)
                                       << "257 entries";
        QTest::newRow("art cut short") << PaletteFormat::Art << QByteArray(500, '\0') << FailureKind(kestrin::PaletteFailure::PaletteByteError)
                                       << qint64(-1) << "";
    }
    void malformedPalettes()
    {
        QFETCH(PaletteFormat, format);
        QFETCH(QByteArray, bytes);
        QFETCH(FailureKind, kind);
        QFETCH(qint64, found);
        QFETCH(QString, reason);
        PaletteFile palette;
        palette.count = 99; // must stay untouched
        const kestrin::Failure failure = kestrin::parsePalette(format, bytes, QStringLiteral("dir/p.x"), &palette);
        QCOMPARE(failure.kind, kind);
        QCOMPARE(failure.found, found);
        QCOMPARE(failure.path, QStringLiteral("dir/p.x"));
        const QString message = kestrin::describeFailure(failure);
        QVERIFY2(message.contains(reason), qPrintable(message));
        if (kind == FailureKind(kestrin::PaletteFailure::PaletteLineError))
            QVERIFY2(message.startsWith(QStringLiteral("line %1: ").arg(found)), qPrintable(message));
        if (kind == FailureKind(kestrin::PaletteFailure::PaletteByteError) && found >= 0)
            QVERIFY2(message.startsWith(QStringLiteral("byte %1: ").arg(found)), qPrintable(message));
        QCOMPARE(palette.count, 99);
    }

    // The first palette of a sprite file, all 256 entries in its order.
    void spriteFileGivesItsPalette()
    {
        kestrin::Project project;
        kestrin::Stage *stage = project.appendStage();
        fixture::addFrame(stage, fixture::image(3, 2, [](int x, int y) { return fixture::bgr(x * 80, y * 90, 7); }));
        QByteArray art;
        QBuffer buffer(&art);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(!kestrin::writeArt(buffer, project, kestrin::GenerationSettings()));
        const QString path = dir.filePath(QStringLiteral("sprite.ART"));
        QVERIFY(fixture::writeAll(path, art));
        PaletteFile palette;
        QVERIFY(!kestrin::readPaletteFile(path, &palette));
        QCOMPARE(palette.count, 256);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(colours(palette)[i], fixture::entry(art, i));
    }

    void readingFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // written unless the name is "missing.gpl"
        QTest::addColumn<FailureKind>("kind");
        QTest::newRow("suffix in capitals") << "upper.GPL" << QByteArray("GIMP Palette\n1 2 3\n") << FailureKind();
        QTest::newRow("unknown suffix") << "colours.txt" << QByteArray("GIMP Palette\n1 2 3\n")
                                        << FailureKind(kestrin::PaletteFailure::UnknownPaletteFormat);
        QTest::newRow("missing file") << "missing.gpl" << QByteArray() << FailureKind(kestrin::FileFailure::CannotReadFile);
        QTest::newRow("text palette beyond the size limit")
            << "huge.gpl" << "GIMP Palette\n" + QByteArray(kestrin::kMaxTextPaletteBytes, '#')
            << FailureKind(kestrin::PaletteFailure::PaletteByteError);
        QTest::newRow("colour table longer than 772 bytes") << "long.act" << QByteArray(2000, '\0')
                                                            << FailureKind(kestrin::PaletteFailure::PaletteByteError);
    }
    void readingFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(FailureKind, kind);
        const QString path = dir.filePath(name);
        if (name != QLatin1String("missing.gpl"))
            QVERIFY(fixture::writeAll(path, bytes));
        PaletteFile palette;
        const kestrin::Failure failure = kestrin::readPaletteFile(path, &palette);
        QCOMPARE(failure.kind, kind);
        if (failure)
            QCOMPARE(failure.path, path);
    }
};

KESTRIN_TEST(TestPaletteFile)
#include "tst_palettefile.moc"
