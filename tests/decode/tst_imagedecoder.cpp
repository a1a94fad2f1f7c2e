// Decoding one frame file: exactly Qt's pixels for complete files, every
// file that does not define all its pixels refused, TGA and PSD through
// stb_image, special files refused without blocking.
#include "fixtures.h"
#include "imagecorpus.h"
#include "project/folderloader.h"
#include "project/frame.h"
#include "decode/imagedecoder.h"
#include "testmain.h"
#include "project/framefailure.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using kestrin::DecodeFailure;
using kestrin::DecodeResult;
using kestrintest::CorpusFile;

Q_DECLARE_METATYPE(kestrintest::CorpusFile)
Q_DECLARE_METATYPE(kestrintest::TgaLayout)

namespace {

/** What QImage::load makes of the file. */
QImage qtPixels(const QString &path)
{
    return kestrintest::pixelsOf(QImage(path).convertToFormat(QImage::Format_ARGB32));
}

// Messages the readers sent to the installed handler.
QStringList leaked;
void recordLeak(QtMsgType, const QMessageLogContext &, const QString &message)
{
    leaked.append(message);
}

} // namespace

class ImageDecoderTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void completeFilesGiveQtsPixels_data()
    {
        QTest::addColumn<CorpusFile>("file");
        for (const CorpusFile &file : kestrintest::completeFiles()) {
            QVERIFY2(!file.bytes.isEmpty(), qPrintable(file.name));
            QTest::newRow(qPrintable(file.name)) << file;
        }
    }

    // Wherever QImage::load reads a file correctly, the decoder gives the
    // very same pixels, and the pixels stored where Qt's reader alters them;
    // the rest (TGA without footer or with RLE, PSD) still decodes.
    void completeFilesGiveQtsPixels()
    {
        QFETCH(CorpusFile, file);
        QVERIFY(fixture::writeAll(path(file.name), file.bytes));
        const DecodeResult result = kestrin::decodeImageFile(path(file.name));
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.image.format(), QImage::Format_ARGB32);
        QCOMPARE(result.path, path(file.name));
        const QImage byQt = qtPixels(path(file.name));
        if (!file.exact.isNull())
            QCOMPARE(result.image, file.exact);
        else if (byQt.isNull())
            QVERIFY2(result.decoder.endsWith("(stb_image)"), result.decoder.constData());
        else
            QCOMPARE(result.image, byQt);
    }

    void cutFilesAreRefused_data() { completeFilesGiveQtsPixels_data(); }

    // A file cut anywhere is refused, unless all that was cut is a trailer
    // that no pixel depends on; then it gives the complete file's pixels.
    void cutFilesAreRefused()
    {
        QFETCH(CorpusFile, file);
        const DecodeResult whole = kestrin::decodeImageData(file.bytes, file.hint());
        QVERIFY(whole.ok());
        for (qsizetype cut : kestrintest::cutPoints(file.bytes.size())) {
            const DecodeResult result = kestrin::decodeImageData(file.bytes.left(cut), file.hint());
            const QByteArray where = "cut at " + QByteArray::number(cut) + ": " + result.message().toUtf8();
            QVERIFY2(!result.ok() || result.image == whole.image, where.constData());
            if (cut >= file.bytes.size() / 4 && cut <= file.bytes.size() * 3 / 4)
                QVERIFY2(result.failure.kind == DecodeFailure::Truncated, where.constData());
        }
    }

    void brokenFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("hint");
        QTest::addColumn<QString>("says");
        for (const auto &file : kestrintest::brokenRleFiles() + kestrintest::overclaimingFiles())
            QTest::newRow(qPrintable(file.name)) << file.bytes << file.hint << file.says;
    }

    // No reader may fill in what the data lacks (valgrind once found the
    // heap leftovers of an 84-byte BMP claiming 64 x 64 in a written sprite).
    void brokenFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, hint);
        QFETCH(QString, says);
        const DecodeResult result = kestrin::decodeImageData(bytes, hint);
        QCOMPARE(result.failure.kind, kestrin::FailureKind(DecodeFailure::Truncated));
        QVERIFY2(result.failure.reason.contains(says), qPrintable(result.failure.reason));
        QVERIFY(result.image.isNull());
    }

    void completeRleStreamsLoad_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("end of bitmap right after the last pixel") << 8 << kestrintest::bytesOf({4, 1, 0, 0, 4, 2, 0, 1});
        QTest::newRow("no end of bitmap") << 8 << kestrintest::bytesOf({4, 1, 0, 0, 4, 2});
        QTest::newRow("absolute runs, padded") << 8 << kestrintest::bytesOf({0, 3, 1, 2, 1, 0, 1, 2, 0, 0, 0, 4, 2, 1, 2, 1});
        QTest::newRow("RLE4 alternating nibbles") << 4 << kestrintest::bytesOf({4, 0x12, 0, 0, 0, 4, 0x21, 0x12, 0, 1});
    }

    void completeRleStreamsLoad()
    {
        QFETCH(int, bits);
        QFETCH(QByteArray, data);
        const QString file = path(QStringLiteral("complete-rle.bmp"));
        QVERIFY(fixture::writeAll(file, kestrintest::rleBmpAround(4, 2, bits, data, {qRgb(9, 9, 9), qRgb(200, 0, 0),
                                                                             qRgb(0, 0, 200)})));
        const DecodeResult result = kestrin::decodeImageFile(file);
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.image, qtPixels(file));
    }

    void rleBmpsGiveTheirPixels()
    {
        const QImage blocky = kestrintest::blockyPicture();
        for (int bits : {8, 4}) {
            const DecodeResult result = kestrin::decodeImageData(kestrintest::rleBmp(blocky, bits), "bmp");
            QVERIFY2(result.ok(), qPrintable(result.message()));
            QCOMPARE(result.image, blocky.convertToFormat(QImage::Format_ARGB32));
        }
    }

    void tgaFilesGiveTheirPixels_data()
    {
        QTest::addColumn<kestrintest::TgaLayout>("layout");
        auto row = [](const char *name, int bits, bool rle, bool top, bool footer, bool mapped = false,
                      bool grey = false, int idLength = 0) {
            kestrintest::TgaLayout l;
            l.bits = bits;
            l.rle = rle;
            l.top = top;
            l.footer = footer;
            l.mapped = mapped;
            l.grey = grey;
            l.idLength = idLength;
            QTest::newRow(name) << l;
        };
        row("24-bit", 24, false, false, false);
        row("24-bit with footer (Qt's reader)", 24, false, false, true);
        row("24-bit RLE", 24, true, false, false);
        row("24-bit RLE, top origin, footer", 24, true, true, true);
        row("32-bit with alpha", 32, false, true, false);
        row("32-bit RLE with alpha, footer", 32, true, false, true);
        row("16-bit", 16, false, false, false);
        row("15-bit RLE, top origin", 15, true, true, false);
        row("8-bit grey", 8, false, false, false, false, true);
        row("8-bit grey RLE, top origin", 8, true, true, false, false, true);
        row("colour-mapped", 8, false, false, true, true);
        row("colour-mapped RLE, top origin", 8, true, true, false, true);
        row("image ID and footer", 24, false, false, true, false, false, 7);
    }

    void tgaFilesGiveTheirPixels()
    {
        QFETCH(kestrintest::TgaLayout, layout);
        const QImage source = layout.mapped ? kestrintest::blockyPicture() : kestrintest::samplePicture();
        QImage expected;
        const QByteArray bytes = kestrintest::tgaOf(source, layout, &expected);
        const QString file = path(QStringLiteral("frame.tga"));
        QVERIFY(fixture::writeAll(file, bytes));
        const DecodeResult result = kestrin::decodeImageFile(file);
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.image, expected);
    }

    void psdFilesGiveTheirPixels_data()
    {
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("rle");
        QTest::newRow("raw RGB") << false << false;
        QTest::newRow("RLE RGB") << false << true;
        QTest::newRow("raw RGBA") << true << false;
        QTest::newRow("RLE RGBA") << true << true;
    }

    void psdFilesGiveTheirPixels()
    {
        QFETCH(bool, alpha);
        QFETCH(bool, rle);
        QImage expected;
        const QByteArray bytes = kestrintest::psdOf(kestrintest::samplePicture(), alpha, rle, &expected);
        const DecodeResult result = kestrin::decodeImageData(bytes, "psd");
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.decoder, QByteArray("psd (stb_image)"));
        QCOMPARE(result.image, expected);
    }

    // The composite's colours are taken as stored under any alpha: no white
    // matte is taken out of them (the tools that write these never put one in).
    void psdSemiTransparentPixelsKeepTheirStoredColour()
    {
        QByteArray psd("8BPS");
        // version 1, 6 reserved bytes, 4 channels, height 1, width 2, 8 bits, RGB
        for (quint32 v : {1u, 0u, 0u, 0u, 4u, 0u, 1u, 0u, 2u, 8u, 3u})
            kestrintest::putBe16(psd, v);
        psd.append(QByteArray(3 * 4 + 2, '\0')); // three empty sections, raw planes
        psd.append(kestrintest::bytesOf({177, 10, 177, 10, 177, 10, 128, 128})); // R, G, B, A
        const DecodeResult result = kestrin::decodeImageData(psd, "psd");
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.image.pixel(0, 0), qRgba(177, 177, 177, 128));
        QCOMPARE(result.image.pixel(1, 0), qRgba(10, 10, 10, 128));
    }

    void imageMagickFilesGiveTheirPixels_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("fourColours");
        // ImageMagick keeps a TGA's row order as it finds it and writes the
        // origin from -orient: -flip makes a file stored bottom up, as the
        // default origin (bottom left) says.
        QTest::newRow("RLE TGA, bottom up") << "tga" << QStringList{"-flip", "-compress", "RLE"} << false;
        QTest::newRow("TGA, bottom up") << "tga" << QStringList{"-flip", "-compress", "None"} << false;
        QTest::newRow("TGA, top down") << "tga" << QStringList{"-orient", "TopLeft", "-compress", "None"} << false;
        QTest::newRow("RLE TGA with alpha") << "tga" << QStringList{"-alpha", "on", "-orient", "TopLeft", "-compress",
                                                                    "RLE"}
                                            << false;
        QTest::newRow("colour-mapped RLE TGA") << "tga" << QStringList{"-flip", "-type", "Palette", "-compress", "RLE"}
                                               << true;
        QTest::newRow("PSD") << "psd" << QStringList{"-depth", "8"} << false;
    }

    // Files as ImageMagick writes them (the "Targa" most tools produce).
    void imageMagickFilesGiveTheirPixels()
    {
        QFETCH(QString, suffix);
        QFETCH(QStringList, options);
        QFETCH(bool, fourColours);
        const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
        if (convert.isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QImage picture = fourColours ? kestrintest::blockyPicture().convertToFormat(QImage::Format_RGB32)
                                     : kestrintest::samplePicture();
        if (!options.contains(QStringLiteral("-alpha")))
            picture = picture.convertToFormat(QImage::Format_RGB32);
        const QString reference = path(QStringLiteral("reference.png"));
        const QString made = path(QStringLiteral("by-imagemagick.") + suffix);
        QVERIFY(picture.save(reference));
        QFile::remove(made);
        QProcess process;
        process.start(convert, QStringList{reference} + options + QStringList{made});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const DecodeResult result = kestrin::decodeImageFile(made);
        QVERIFY2(result.ok(), qPrintable(result.message()));
        QCOMPARE(result.image, qtPixels(reference));
    }

    // The same frames as PNG and as RLE TGA make the same project, so the
    // written sprite is the same too.
    void tgaProjectLoadsLikeItsPngTwin()
    {
        kestrin::Project projects[2];
        const char *suffixes[2] = {"png", "tga"};
        for (int k = 0; k < 2; ++k) {
            const QString folder = path(QStringLiteral("twin-") + QLatin1String(suffixes[k])) + QLatin1Char('/');
            QVERIFY(QDir().mkpath(folder));
            for (int f = 0; f < 3; ++f) {
                QImage frame = kestrintest::samplePicture().copy(f, 0, 30, 20);
                const QString name = folder + QStringLiteral("camera01_000%1.").arg(f) + QLatin1String(suffixes[k]);
                kestrintest::TgaLayout rle;
                rle.bits = 32;
                rle.rle = true;
                QImage ignored;
                QVERIFY(k == 0 ? frame.save(name) : fixture::writeAll(name, kestrintest::tgaOf(frame, rle, &ignored)));
            }
            kestrin::FolderPattern pattern;
            pattern.folder = folder;
            pattern.pattern = QStringLiteral("camera%1_%2.") + QLatin1String(suffixes[k]);
            QVERIFY(!kestrin::loadFolder(projects[k], pattern));
        }
        QCOMPARE(projects[1].stageCount, 1u);
        QCOMPARE(projects[1].stages[0]->frameCount, 3u);
        for (int f = 0; f < 3; ++f)
            QCOMPARE(projects[1].stages[0]->frames[f]->sourceImage, projects[0].stages[0]->frames[f]->sourceImage);
    }

    void specialFilesFailAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO named like a frame") << "fifo";
        QTest::newRow("folder named like a frame") << "folder";
        QTest::newRow("private character device") << "device";
    }

    // Never opened, so a FIFO without a writer cannot block the load.
    void specialFilesFailAtOnce()
    {
        QFETCH(QString, kind);
        const QString file = path(kind + QStringLiteral("/camera01_0000.bmp"));
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        const QByteArray native = QFile::encodeName(file);
        if (kind == QLatin1String("fifo"))
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(file));
        else if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node here (needs root)");
        auto decoding = std::async(std::launch::async, [file] { return kestrin::decodeImageFile(file); });
        if (decoding.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK); // lets a blocked open return
            if (fd >= 0)
                ::close(fd);
            QFAIL("decoding a special file blocked");
        }
        const DecodeResult result = decoding.get();
        QCOMPARE(result.failure.kind, kestrin::FailureKind(DecodeFailure::NotRegularFile));
        QVERIFY2(result.message().startsWith(QLatin1String("not a regular file")), qPrintable(result.message()));
        kestrin::Frame frame;
        QCOMPARE(kestrin::loadFrame(frame, file).kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QVERIFY(frame.sourceImage.isNull());
    }

    void loadFrameReportsWhichFileFailedAndWhy()
    {
        const QString broken = path(QStringLiteral("camera01_0001.bmp"));
        QVERIFY(fixture::writeAll(broken, kestrintest::writtenByQt(kestrintest::samplePicture(), "bmp").left(100)));
        kestrin::Frame frame;
        kestrin::DecodeResult outcome;
        const kestrin::Failure failure = kestrin::loadFrame(frame, broken, &outcome);
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FrameFailure::CannotLoadFrame));
        QCOMPARE(failure.path, broken);
        QCOMPARE(failure.reason, outcome.message());
        QCOMPARE(outcome.failure.kind, kestrin::FailureKind(DecodeFailure::Truncated));
        QCOMPARE(outcome.path, broken);
        QVERIFY2(outcome.message().startsWith(QLatin1String("truncated: the BMP pixel data")),
                 qPrintable(outcome.message()));
        QVERIFY(frame.filePath.isEmpty() && frame.sourceImage.isNull());

        QVERIFY(kestrin::loadFrame(frame, path(QStringLiteral("nowhere.png")), &outcome));
        QCOMPARE(outcome.failure.kind, kestrin::FailureKind(DecodeFailure::CannotOpen));
        QCOMPARE(outcome.failure.reason, QStringLiteral("No such file or directory"));
    }

    // Only readers that never print look at the data, and the decoder leaves
    // the application's message handler alone: a TGA (which Qt's TGA reader
    // would complain about) is read by stb_image, and its reason says so.
    void decodingSendsNoMessages()
    {
        kestrintest::TgaLayout rle;
        rle.rle = true;
        rle.footer = true;
        QImage expected;
        const QByteArray rleTga = kestrintest::tgaOf(kestrintest::samplePicture(), rle, &expected);
        QByteArray unknownTga = rleTga;
        unknownTga[2] = 12; // an image type no reader knows

        leaked.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordLeak);
        const DecodeResult loaded = kestrin::decodeImageData(rleTga, "tga");
        const DecodeResult refused = kestrin::decodeImageData(unknownTga, "tga");
        const DecodeResult unnamed = kestrin::decodeImageData(unknownTga, "");
        const QtMessageHandler during = qInstallMessageHandler(previous);

        QVERIFY(during == recordLeak);
        QVERIFY2(leaked.isEmpty(), qPrintable(leaked.join(QLatin1Char('\n'))));
        QVERIFY(loaded.ok());
        QCOMPARE(loaded.decoder, QByteArray("tga (stb_image)"));
        QVERIFY(loaded.image == expected);
        QCOMPARE(refused.failure.kind, kestrin::FailureKind(DecodeFailure::NotAnImage));
        QVERIFY2(refused.failure.reason.contains(QLatin1String("stb_image's TGA reader")), qPrintable(refused.failure.reason));
        QCOMPARE(unnamed.failure.kind, kestrin::FailureKind(DecodeFailure::NotAnImage));
    }

    // Four threads decode the corpus at once (complete files, cuts of each and
    // broken streams, so every check and every reader's complaint runs) and
    // get what one thread gets, each with its own readers' messages.
    void decodesOnSeveralThreadsAtOnce()
    {
        QList<CorpusFile> files = kestrintest::completeFiles();
        files.append({QStringLiteral("cut.tga"), files.last().bytes.left(100)});
        files.append({QStringLiteral("cut.bmp"), files.first().bytes.left(500)});
        for (const CorpusFile &file : kestrintest::completeFiles()) {
            const QList<qsizetype> cuts = kestrintest::cutPoints(file.bytes.size());
            for (qsizetype i = 0; i < cuts.size(); i += 5)
                files.append({file.name, file.bytes.left(cuts[i])});
        }
        for (const kestrintest::BrokenFile &file : kestrintest::brokenRleFiles() + kestrintest::overclaimingFiles())
            files.append({QStringLiteral("broken.") + QString::fromLatin1(file.hint), file.bytes});
        QList<DecodeResult> alone;
        for (const CorpusFile &file : files)
            alone.append(kestrin::decodeImageData(file.bytes, file.hint()));
        leaked.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordLeak);
        std::vector<QList<DecodeResult>> together(4);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 3; ++round)
                    for (qsizetype i = 0; i < files.size(); ++i)
                        together[t].append(kestrin::decodeImageData(files[(i + t) % files.size()].bytes,
                                                                    files[(i + t) % files.size()].hint()));
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        qInstallMessageHandler(previous);
        QVERIFY2(leaked.isEmpty(), qPrintable(leaked.join(QLatin1Char('\n'))));
        for (int t = 0; t < 4; ++t) {
            for (qsizetype k = 0; k < together[t].size(); ++k) {
                const DecodeResult &mine = together[t][k];
                const DecodeResult &expected = alone[(k % files.size() + t) % files.size()];
                QCOMPARE(mine.failure.kind, expected.failure.kind);
                QCOMPARE(mine.failure.reason, expected.failure.reason);
                QCOMPARE(mine.notices, expected.notices);
                QVERIFY(mine.image == expected.image);
            }
        }
    }

    void imagesBeyondTheAllocationLimitAreRefused()
    {
        const QByteArray png = kestrintest::writtenByQt(QImage(1024, 1024, QImage::Format_RGB32), "png");
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(2); // MiB; the image needs 4
        const DecodeResult result = kestrin::decodeImageData(png, "png");
        QImageReader::setAllocationLimit(limit);
        QCOMPARE(result.failure.kind, kestrin::FailureKind(DecodeFailure::TooLarge));
        QVERIFY2(result.failure.reason.contains(QLatin1String("1024 x 1024")), qPrintable(result.failure.reason));
    }

    void sizeProbeReadsTheHeader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QImage ignored;
        kestrintest::TgaLayout rle;
        rle.rle = true;
        QByteArray topDown = kestrintest::writtenByQt(kestrintest::samplePicture(), "bmp");
        QByteArray height;
        kestrintest::putLe32(height, quint32(-23)); // a negative height: rows stored top down
        topDown.replace(22, 4, height);
        QTest::newRow("BMP") << "probe.bmp" << kestrintest::writtenByQt(kestrintest::samplePicture(), "bmp");
        QTest::newRow("BMP stored top down") << "probe-top.bmp" << topDown;
        QTest::newRow("TIFF") << "probe.tif" << kestrintest::writtenByQt(kestrintest::samplePicture(), "tif");
        QTest::newRow("RLE TGA") << "probe.tga" << kestrintest::tgaOf(kestrintest::samplePicture(), rle, &ignored);
        QTest::newRow("PSD") << "probe.psd" << kestrintest::psdOf(kestrintest::samplePicture(), false, true, &ignored);
        // The formats whose size sits behind a signature and segments (JPEG)
        // or in a chunk (WebP), and those Qt's readers know, each under a
        // name that does not say what it is.
        const QImage picture = kestrintest::samplePicture();
        QTest::newRow("JPEG") << "probe-jpeg" << kestrintest::writtenByQt(picture, "jpg");
        QTest::newRow("progressive JPEG") << "probe-pjpeg" << kestrintest::writtenByQt(picture, "jpg", 80, -1, true);
        QTest::newRow("GIF") << "probe-gif" << kestrintest::gifOf(picture.convertToFormat(QImage::Format_Indexed8));
        QTest::newRow("lossy WebP") << "probe-webp" << kestrintest::writtenByQt(picture, "webp", 50);
        QTest::newRow("lossless WebP") << "probe-webpll" << kestrintest::writtenByQt(picture, "webp", 100);
        QTest::newRow("PPM") << "probe-ppm" << kestrintest::writtenByQt(picture, "ppm");
        QTest::newRow("XPM") << "probe-xpm" << kestrintest::writtenByQt(picture, "xpm");
        QTest::newRow("ICO") << "probe-ico" << kestrintest::writtenByQt(picture, "ico");
    }

    void sizeProbeReadsTheHeader()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QVERIFY(fixture::writeAll(path(name), bytes));
        const kestrin::SizeProbe probe = kestrin::probeImageFile(path(name));
        QVERIFY2(probe.ok(), qPrintable(probe.failure.reason));
        QCOMPARE(probe.size, QSize(37, 23));
    }

    void sizeProbeRefusesWhatDecodingRefuses()
    {
        const QString fifo = path(QStringLiteral("probe-fifo.png"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QCOMPARE(kestrin::probeImageFile(fifo).failure.kind, kestrin::FailureKind(DecodeFailure::NotRegularFile));
        QCOMPARE(kestrin::probeImageFile(path(QStringLiteral("missing.png"))).failure.kind, kestrin::FailureKind(DecodeFailure::CannotOpen));
        QVERIFY(fixture::writeAll(path(QStringLiteral("text.png")), "no image here\n"));
        QCOMPARE(kestrin::probeImageFile(path(QStringLiteral("text.png"))).failure.kind, kestrin::FailureKind(DecodeFailure::NotAnImage));
    }
};

KESTRIN_TEST(ImageDecoderTest)
#include "tst_imagedecoder.moc"
