// The plain-PNG reader either gives exactly what Qt's reader gives or
// declines: every PNG kind, chunks Qt's reader acts on, and damaged files.
#include "imagecorpus.h"
#include "decode/imagedecoder.h"
#include "decode/pngreader.h"
#include "testmain.h"

#include <QColorSpace>
#include <QTest>

#include <functional>

namespace {

quint32 crc32Of(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xffffffffu;
}

QByteArray chunk(const char *type, const QByteArray &body)
{
    QByteArray out;
    kestrintest::putBe32(out, quint32(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    out += typed;
    kestrintest::putBe32(out, crc32Of(typed));
    return out;
}

/** How a hand-made PNG is laid out, and where it is damaged. */
struct HandPng {
    int colourType = 2; // 0 grey, 2 RGB, 4 grey + alpha, 6 RGBA; 8 bits a sample
    bool interlaced = false;
    QByteArray before;  // chunks between IHDR and the data
    QByteArray after;   // chunks between the data and IEND
    int parts = 3;      // IDAT chunks the stream is split into (one of them empty when more than 2)
    std::function<void(QByteArray &)> raw;  // changes the filtered rows
    std::function<void(QByteArray &)> zlib; // changes the zlib stream
};

int channelsOf(int colourType)
{
    return colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
}

/** The samples of pixel (x, y), taken from the sample picture. */
QByteArray samplesAt(int x, int y, int channels)
{
    static const QImage picture = kestrintest::samplePicture();
    const QRgb p = picture.pixel(x % 37, y % 23);
    const char samples[4] = {char(qRed(p)), char(qGreen(p)), char(qBlue(p)), char(qAlpha(p))};
    const QByteArray rgba(samples, 4);
    return channels == 1 ? rgba.mid(1, 1) : channels == 2 ? rgba.mid(1, 1) + rgba.mid(3) : rgba.left(channels);
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

/** Rows of a (sub)image filtered with filter y % 5, each after its filter byte. */
QByteArray filteredRows(const QList<QByteArray> &rows, int pixelBytes)
{
    QByteArray out;
    QByteArray above(rows.value(0).size(), '\0');
    for (int y = 0; y < rows.size(); ++y) {
        const QByteArray &row = rows[y];
        const int filter = y % 5;
        out.append(char(filter));
        for (int i = 0; i < row.size(); ++i) {
            const int a = i >= pixelBytes ? uchar(row[i - pixelBytes]) : 0, b = uchar(above[i]);
            const int c = i >= pixelBytes ? uchar(above[i - pixelBytes]) : 0;
            const int predicted = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? paeth(a, b, c) : 0;
            out.append(char(uchar(row[i]) - predicted));
        }
        above = row;
    }
    return out;
}

QByteArray handMade(const HandPng &layout, int width = 29, int height = 17)
{
    const int channels = channelsOf(layout.colourType);
    const int pixelBytes = channels;
    auto rowOf = [&](int y, int x0, int step) {
        QByteArray row;
        for (int x = x0; x < width; x += step)
            row += samplesAt(x, y, channels);
        return row;
    };
    QByteArray raw;
    if (!layout.interlaced) {
        QList<QByteArray> rows;
        for (int y = 0; y < height; ++y)
            rows << rowOf(y, 0, 1);
        raw = filteredRows(rows, pixelBytes);
    } else {
        const int pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}; // x0, y0, dx, dy
        for (const auto &p : pass) {
            QList<QByteArray> rows;
            for (int y = p[1]; y < height; y += p[3]) {
                const QByteArray row = rowOf(y, p[0], p[2]);
                if (!row.isEmpty())
                    rows << row;
            }
            raw += filteredRows(rows, pixelBytes);
        }
    }
    if (layout.raw)
        layout.raw(raw);
    QByteArray zlib = qCompress(raw, 9).mid(4); // qCompress puts the length in front
    if (layout.zlib)
        layout.zlib(zlib);
    QByteArray header;
    kestrintest::putBe32(header, quint32(width));
    kestrintest::putBe32(header, quint32(height));
    header += char(8);
    header += char(layout.colourType);
    header += QByteArray(2, '\0');
    header += char(layout.interlaced ? 1 : 0);
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + layout.before;
    const int cut = int(zlib.size()) / 2;
    if (layout.parts <= 1) {
        png += chunk("IDAT", zlib);
    } else {
        png += chunk("IDAT", zlib.left(cut));
        if (layout.parts > 2)
            png += chunk("IDAT", QByteArray());
        png += chunk("IDAT", zlib.mid(cut));
    }
    return png + layout.after + chunk("IEND", QByteArray());
}

QByteArray pHYs(quint32 x, quint32 y, int unit)
{
    QByteArray body;
    kestrintest::putBe32(body, x);
    kestrintest::putBe32(body, y);
    return chunk("pHYs", body + char(unit));
}

QByteArray flipLastByte(QByteArray bytes)
{
    bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 1);
    return bytes;
}

QStringList qtMessages;
void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    qtMessages << message;
}

} // namespace

class PngReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void plainPngOrNothing_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<bool>("taken");
        using kestrintest::writtenByQt;
        const QImage picture = kestrintest::samplePicture();
        QImage noise(200, 150, QImage::Format_ARGB32);
        quint32 seed = 7;
        for (int y = 0; y < noise.height(); ++y) {
            for (int x = 0; x < noise.width(); ++x) {
                seed = seed * 1103515245u + 12345u;
                noise.setPixel(x, y, qRgba(x + int(seed >> 28), y, int(seed >> 24) & 0xff, 255 - x / 2));
            }
        }
        QImage srgb = picture;
        srgb.setColorSpace(QColorSpace::SRgb);

        // Written by Qt's own writer: the kinds it makes.
        QTest::newRow("RGB by Qt") << writtenByQt(noise.convertToFormat(QImage::Format_RGB32), "png") << true;
        QTest::newRow("RGBA by Qt") << writtenByQt(noise, "png") << true;
        // libpng's writer declares a smaller zlib window for little data: no
        // distance can reach past it when the image is no larger.
        QTest::newRow("small RGBA by Qt, window under 32 KiB") << writtenByQt(picture, "png") << true;
        QTest::newRow("RGBA by Qt, no compression") << writtenByQt(noise, "png", -1, 0) << true;
        QTest::newRow("palette by Qt") << writtenByQt(kestrintest::blockyPicture(), "png") << false;
        QTest::newRow("palette with alpha (tRNS) by Qt")
            << writtenByQt(picture.convertToFormat(QImage::Format_Indexed8), "png") << false;
        QTest::newRow("grey by Qt") << writtenByQt(picture.convertToFormat(QImage::Format_Grayscale8), "png") << false;
        QTest::newRow("16-bit grey by Qt")
            << writtenByQt(picture.convertToFormat(QImage::Format_Grayscale16), "png") << false;
        QTest::newRow("16-bit RGBA by Qt") << writtenByQt(noise.convertToFormat(QImage::Format_RGBA64), "png") << false;
        QTest::newRow("16-bit RGB by Qt") << writtenByQt(noise.convertToFormat(QImage::Format_RGBX64), "png") << false;
        QTest::newRow("1-bit by Qt") << writtenByQt(picture.convertToFormat(QImage::Format_Mono), "png") << false;
        QTest::newRow("colour space chunks by Qt") << writtenByQt(srgb, "png") << false;

        // Made by hand: every filter, split data, and the kinds Qt does not write.
        HandPng rgb;
        QTest::newRow("RGB, every filter, split data") << handMade(rgb) << true;
        HandPng rgba;
        rgba.colourType = 6;
        QTest::newRow("RGBA, every filter") << handMade(rgba) << true;
        HandPng whole = rgb;
        whole.parts = 1;
        whole.before = pHYs(2835, 5670, 1);
        QTest::newRow("RGB, one IDAT, density in metres") << handMade(whole) << true;
        QTest::newRow("one pixel") << handMade(rgba, 1, 1) << true;
        HandPng layout = rgb;
        layout.interlaced = true;
        QTest::newRow("interlaced RGB") << handMade(layout) << false;
        layout = rgba;
        layout.interlaced = true;
        QTest::newRow("interlaced RGBA") << handMade(layout) << false;
        for (int type : {0, 4}) {
            layout = HandPng();
            layout.colourType = type;
            QTest::newRow(type == 0 ? "grey" : "grey + alpha") << handMade(layout) << false;
        }
        const struct {
            const char *name;
            QByteArray chunk;
        } ancillary[] = {
            {"gamma (gAMA)", chunk("gAMA", QByteArray::fromHex("0000b18f"))},
            {"sRGB", chunk("sRGB", QByteArray(1, '\0'))},
            {"chromaticities (cHRM)", chunk("cHRM", QByteArray(32, '\1'))},
            {"colour key (tRNS)", chunk("tRNS", QByteArray::fromHex("000a0014001e"))},
            {"significant bits (sBIT)", chunk("sBIT", QByteArray::fromHex("050505"))},
            {"text (tEXt)", chunk("tEXt", QByteArray("Title\0frame", 11))},
            {"suggested palette (PLTE)", chunk("PLTE", QByteArray(6, '\x7f'))},
            {"density without unit", pHYs(1, 2, 0)},
            {"two densities", pHYs(2835, 2835, 1) + pHYs(2835, 2835, 1)},
            {"unknown critical chunk", chunk("ABCD", QByteArray("x"))},
        };
        for (const auto &extra : ancillary) {
            layout = rgb;
            layout.before = extra.chunk;
            QTest::newRow(extra.name) << handMade(layout) << false;
        }
        layout = rgb;
        layout.after = chunk("tEXt", QByteArray("Title\0late", 10));
        QTest::newRow("text after the data") << handMade(layout) << false;

        // Damaged: Qt's reader refuses these, or warns and carries on.
        const QByteArray good = handMade(rgb);
        const int firstData = int(good.indexOf("IDAT")) - 4;
        QByteArray badCrc = good;
        badCrc[firstData + 8 + 3] = char(badCrc[firstData + 8 + 3] ^ 0x10); // inside the data
        QTest::newRow("wrong CRC of the data") << badCrc << false;
        layout = rgb;
        layout.before = flipLastByte(pHYs(2835, 2835, 1));
        QTest::newRow("wrong CRC of the density") << handMade(layout) << false;
        layout = rgb;
        layout.zlib = [](QByteArray &z) { z = flipLastByte(z); };
        QTest::newRow("wrong zlib checksum") << handMade(layout) << false;
        layout.zlib = [](QByteArray &z) { z += QByteArray(3, '\0'); };
        QTest::newRow("bytes after the zlib stream") << handMade(layout) << false;
        // A declared window smaller than 32 KiB: zlib refuses a distance past
        // it, libdeflate does not look; so only an image no larger than the
        // window is inflated here, and libpng decides the others.
        const auto window = [](uchar cmf) {
            return [cmf](QByteArray &z) {
                z[0] = char(cmf);
                z[1] = char((uchar(z[1]) & 0xe0) + (31 - ((cmf * 256 + (uchar(z[1]) & 0xe0)) % 31)) % 31);
            };
        };
        layout.zlib = window(0x68); // 16 KiB
        QTest::newRow("16 KiB zlib window, a smaller image") << handMade(layout) << true;
        layout.zlib = window(0x08); // 256 bytes
        QTest::newRow("256-byte zlib window, a larger image") << handMade(layout) << false;
        layout = rgb;
        layout.raw = [](QByteArray &raw) { raw.chop(29 * 3 + 1); };
        QTest::newRow("a row missing") << handMade(layout) << false;
        layout.raw = [](QByteArray &raw) { raw += raw.right(29 * 3 + 1); };
        QTest::newRow("a row too many") << handMade(layout) << false;
        layout.raw = [](QByteArray &raw) { raw[0] = 5; };
        QTest::newRow("unknown filter type") << handMade(layout) << false;
        QByteArray wide = handMade(rgb, 1000001, 1);
        QTest::newRow("wider than libpng's limit") << wide << false;
        QTest::newRow("no IEND") << good.left(good.size() - 12) << false;
        for (qsizetype cut : kestrintest::cutPoints(good.size()))
            QTest::newRow(qPrintable(QStringLiteral("cut at %1").arg(cut))) << good.left(cut) << false;
    }

    // What the reader takes gives Qt's pixels and density, and Qt's reader
    // says nothing about it; what it declines goes to Qt's reader, as before.
    void plainPngOrNothing()
    {
        QFETCH(QByteArray, png);
        QFETCH(bool, taken);
        QVERIFY(!png.isEmpty());
        const QImage plain = kestrin::decodePlainPng(png);
        QCOMPARE(!plain.isNull(), taken);
        qtMessages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        const QImage qt = QImage::fromData(png, "png");
        qInstallMessageHandler(previous);
        if (taken) {
            QVERIFY2(qtMessages.isEmpty(), qPrintable(qtMessages.join(QLatin1Char('\n'))));
            QCOMPARE(plain, kestrintest::pixelsOf(qt.convertToFormat(QImage::Format_ARGB32)));
            QCOMPARE(plain.dotsPerMeterX(), qt.dotsPerMeterX());
            QCOMPARE(plain.dotsPerMeterY(), qt.dotsPerMeterY());
        }
        // Through the whole decoder, taken or not: Qt's pixels whenever Qt's
        // reader has them and the data is complete.
        const kestrin::DecodeResult decoded = kestrin::decodeImageData(png, "png");
        if (decoded.ok())
            QCOMPARE(decoded.image, kestrintest::pixelsOf(qt.convertToFormat(QImage::Format_ARGB32)));
        if (taken)
            QVERIFY(decoded.ok());
    }
};

KESTRIN_TEST(PngReaderTest)
#include "tst_pngreader.moc"
