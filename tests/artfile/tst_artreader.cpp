// The ".art" reader: files from the writer read back field by field, and
// every malformed layout refused with a message that says what is wrong.
#include "artfile/artreader.h"
#include "fixtures.h"
#include "generate/artwriter.h"
#include "testmain.h"
#include "fileio/failure.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace fixture;

namespace {

void put(QByteArray &bytes, qint64 offset, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + offset);
}

qint64 frameAt(quint32 paletteCount, int i)
{
    return qint64(kestrin::art::frameHeadersOffset(paletteCount)) + qint64(kestrin::art::kFrameHeaderSize) * i;
}

/** A pipe-like input: `bytes`, then, when `endless`, zeros without end;
 *  at most 4096 bytes per read. Counts what the reader took. */
class Stream : public QIODevice
{
public:
    Stream(const QByteArray &bytes, bool endless)
        : m_bytes(bytes)
        , m_endless(endless)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered); // no read-ahead by QIODevice
    }
    bool isSequential() const override { return true; }
    qint64 consumed() const { return m_at; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = qMin<qint64>(max, 4096);
        const qint64 fromBytes = qBound<qint64>(0, m_bytes.size() - m_at, n);
        std::memcpy(data, m_bytes.constData() + qMin<qint64>(m_at, m_bytes.size()), size_t(fromBytes));
        const qint64 total = m_endless ? n : fromBytes;
        std::memset(data + fromBytes, 0, size_t(total - fromBytes));
        m_at += total;
        return total;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    bool m_endless;
    qint64 m_at = 0;
};

/** A pipe-like input of `bytes` whose read at or after `failAt` fails with
 *  an error string, as a device that breaks does. */
class FailingStream : public QIODevice
{
public:
    FailingStream(const QByteArray &bytes, qint64 failAt)
        : m_bytes(bytes)
        , m_failAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (m_at + max > m_failAt) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = qBound<qint64>(0, m_bytes.size() - m_at, max);
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_failAt;
    qint64 m_at = 0;
};

} // namespace

class ArtReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatTheWriterWrote()
    {
        const QByteArray bytes = smallSprite(3);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(bytes, art), error), qPrintable(error));
        QCOMPARE(art.staticFlag, 1u);
        QCOMPARE(art.rate, 12);
        QCOMPARE(art.directionCount, 8u);
        QCOMPARE(art.hitFrame, 1);
        QCOMPARE(art.framesPerDirection, 4u);
        QCOMPARE(art.paletteCount, 3u);
        QCOMPARE(art.signature, QByteArray(kestrin::art::kSignature, 12));
        QCOMPARE(art.palette, bytes.mid(132, 1024));
        QCOMPARE(art.frames.size(), size_t(4));
        const int expected[][2] = {{10, 10}, {4, 6}, {3, 1}, {5, 2}};
        qint64 offset = frameAt(3, 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(art.frames[i].width, expected[i][0]);
            QCOMPARE(art.frames[i].height, expected[i][1]);
            QCOMPARE(art.frames[i].dataSize, expected[i][0] * expected[i][1]);
            QCOMPARE(art.frames[i].centerX, expected[i][0] / 2);
            QCOMPARE(art.frames[i].centerY, expected[i][1] / 2);
            QCOMPARE(art.frames[i].dataOffset, offset);
            offset += art.frames[i].dataSize;
        }
        QCOMPARE(offset, qint64(bytes.size()));
    }

    void frameCountFollowsTheType_data()
    {
        QTest::addColumn<quint32>("rotatable");
        QTest::addColumn<int>("stages");
        QTest::addColumn<quint32>("framesPerDirection");
        QTest::addColumn<int>("frames");
        QTest::newRow("static: the whole sequence") << 0u << 3 << 6u << 6;
        QTest::newRow("rotatable: 8 directions") << 1u << 8 << 2u << 16;
    }

    void frameCountFollowsTheType()
    {
        QFETCH(quint32, rotatable);
        QFETCH(int, stages);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(smallSprite(1, rotatable, stages), art), error), qPrintable(error));
        QCOMPARE(art.isRotatable(), rotatable == 1);
        QTEST(art.framesPerDirection, "framesPerDirection");
        QTEST(int(art.frames.size()), "frames");
    }

    void emptyFramesAndEmptyFiles()
    {
        // A file of header and palettes only, and a 0 x 7 frame: both valid.
        QByteArray bytes = smallSprite(1);
        bytes.truncate(frameAt(1, 0));
        put(bytes, kestrin::art::kFramesPerDirectionOffset, 0);
        kestrin::ArtFile art;
        QString error;
        QVERIFY2(fixture::succeeded(kestrin::parseArt(bytes, art), error), qPrintable(error));
        QVERIFY(art.frames.empty());

        bytes.append(QByteArray(28, '\0'));
        put(bytes, kestrin::art::kFramesPerDirectionOffset, 1);
        put(bytes, frameAt(1, 0) + 4, 7);
        QVERIFY2(fixture::succeeded(kestrin::parseArt(bytes, art), error), qPrintable(error));
        QCOMPARE(art.frames.size(), size_t(1));
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray good = smallSprite(2); // frames 10x10, 4x6, 3x1, 5x2
        const qint64 f0 = frameAt(2, 0);
        const auto with = [&](qint64 offset, quint32 value) {
            QByteArray bytes = good;
            put(bytes, offset, value);
            return bytes;
        };

        QTest::newRow("empty") << QByteArray() << QStringLiteral("file too short for the header: 0 bytes");
        QTest::newRow("header cut") << good.left(131) << QStringLiteral("file too short for the header: 131 bytes");
        QTest::newRow("type flag 2") << with(0, 2) << QStringLiteral("unknown sprite type flag 2 at offset 0");
        QTest::newRow("7 directions") << with(8, 7) << QStringLiteral("direction count is 7, must be 8");
        QTest::newRow("no slot") << with(12, 0).replace(16, 4, QByteArray(4, '\0'))
                                 << QStringLiteral("no palette slot is set");
        QTest::newRow("slot gap") << with(12, 0) << QStringLiteral("palette slot 1 is set although slot 0 is zero");
        QTest::newRow("slot after the palettes")
            << with(24, 0x41414141) << QStringLiteral("palette slot 3 is set although slot 2 is zero");
        QTest::newRow("palettes cut") << good.left(132 + 1024 + 1000)
                                      << QStringLiteral("truncated: the 2 palettes end at byte 2180, the file has "
                                                        "2156");
        QTest::newRow("palettes differ") << with(132 + 1024 + 400, 0x00123456)
                                         << QStringLiteral("palette 1 differs from palette 0");
        QTest::newRow("huge rotatable frame count")
            << with(0, 0).replace(32, 4, QByteArray(4, '\xff'))
            << QStringLiteral("truncated: 34359738360 frame headers (4294967295 frames per direction, rotatable)");
        QTest::newRow("huge static frame count")
            << with(32, 0x7fffffff) << QStringLiteral("truncated: 2147483647 frame headers");
        QTest::newRow("static count read as rotatable")
            << with(0, 0) << QStringLiteral("truncated: 32 frame headers (4 frames per direction, rotatable)");
        QTest::newRow("negative width") << with(f0, 0xfffffff6) << QStringLiteral("frame 0: negative size -10 x 10");
        QTest::newRow("dataSize off by one")
            << with(f0 + 28 + 8, 25) << QStringLiteral("frame 1: dataSize 25 is not width x height = 4 x 6 = 24");
        QTest::newRow("size that wraps 32 bits")
            << with(f0, 65536).replace(f0 + 4, 4, QByteArray("\0\0\1\0", 4)).replace(f0 + 8, 4, QByteArray(4, '\0'))
            << QStringLiteral("frame 0: dataSize 0 is not width x height = 65536 x 65536 = 4294967296");
        QTest::newRow("dataSize beyond 31 bits") << with(f0 + 8, 0xffffffff)
                                                 << QStringLiteral("frame 0: negative size 10 x 10, dataSize -1");
        QTest::newRow("huge claimed frame")
            << with(f0, 0x7fffffff).replace(f0 + 4, 4, QByteArray("\1\0\0\0", 4)).replace(f0 + 8, 4, "\xff\xff\xff\x7f")
            << QStringLiteral("truncated: the index data of frame 0 ends at byte 2147485939, the file has 2429 bytes");
        QTest::newRow("index data cut") << good.left(good.size() - 1)
                                        << QStringLiteral("truncated: the index data of frame 3 ends at byte");
        QTest::newRow("byte after the data")
            << good + QByteArray(1, '\0') << QStringLiteral("1 extra byte(s) after the index data of the last frame");
    }

    void malformed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        kestrin::ArtFile art;
        art.rate = 77; // a failed parse leaves the target alone
        QString error;
        const kestrin::Failure failure = kestrin::parseArt(bytes, art);
        QCOMPARE(failure.kind, kestrin::FailureKind(kestrin::FileFailure::MalformedFile));
        QVERIFY(failure.path.isEmpty());
        QVERIFY2(failure.reason.startsWith(message), qPrintable(failure.reason));
        QCOMPARE(art.rate, 77);
        QVERIFY(art.frames.empty());
    }

    void readsDevices()
    {
        kestrin::ArtFile art;
        QString error;
        QBuffer buffer;
        buffer.setData(smallSprite(4));
        QCOMPARE(kestrin::readArt(buffer, art).kind, kestrin::FailureKind(kestrin::FileFailure::CannotReadFile)); // not open
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QVERIFY2(fixture::succeeded(kestrin::readArt(buffer, art), error), qPrintable(error));
        QCOMPARE(art.paletteCount, 4u);
    }

    void aDeviceThatFailsIsNotAMalformedFile_data()
    {
        QTest::addColumn<qint64>("failAt"); // the read at this offset fails
        QTest::addColumn<kestrin::FailureKind>("kind");
        const qint64 size = smallSprite(2).size();
        QTest::newRow("in the header") << qint64(0) << kestrin::FailureKind(kestrin::FileFailure::CannotReadFile);
        QTest::newRow("in the index data") << size - 3 << kestrin::FailureKind(kestrin::FileFailure::CannotReadFile);
        QTest::newRow("looking past the end") << size << kestrin::FailureKind(kestrin::FileFailure::CannotReadFile);
        QTest::newRow("never") << size + 1 << kestrin::FailureKind();
    }

    void aDeviceThatFailsIsNotAMalformedFile()
    {
        QFETCH(qint64, failAt);
        QFETCH(kestrin::FailureKind, kind);
        FailingStream stream(smallSprite(2), failAt);
        kestrin::ArtFile art;
        const kestrin::Failure failure = kestrin::readArt(stream, art);
        QCOMPARE(failure.kind, kind);
        if (failure)
            QCOMPARE(failure.reason, QStringLiteral("Input/output error"));
    }

    void streamsAreReadOnlyAsFarAsDeclared_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("endless");   // zeros without end after the bytes
        QTest::addColumn<QString>("message"); // empty: reads fine
        QTest::addColumn<qint64>("consumed"); // at most this many bytes taken
        const QByteArray good = smallSprite(2);
        const qint64 size = good.size();
        QByteArray huge = good.left(frameAt(2, 0));
        put(huge, kestrin::art::kFramesPerDirectionOffset, 0x7fffffff);
        QTest::newRow("whole file") << good << false << QString() << size;
        QTest::newRow("endless zeros") << QByteArray() << true << QStringLiteral("direction count is 0, must be 8")
                                       << qint64(kestrin::art::kHeaderSize);
        QTest::newRow("huge frame count, endless")
            << huge << true
            << QStringLiteral("the headers describe at least %1 bytes, more than the 4294967295 bytes a sprite "
                              "file can hold")
                   .arg(frameAt(2, 0x7fffffff))
            << qint64(huge.size());
        QTest::newRow("endless after the last frame")
            << good << true
            << QStringLiteral("extra byte(s) after the index data of the last frame, which ends at byte %1").arg(size)
            << size + 1;
        QTest::newRow("a byte after the last frame")
            << good + QByteArray(1, '\0') << false
            << QStringLiteral("extra byte(s) after the index data of the last frame, which ends at byte %1").arg(size)
            << size + 1;
        QTest::newRow("cut in the frame headers")
            << good.left(frameAt(2, 2))
            << false
            << QStringLiteral("truncated: 4 frame headers (4 frames per direction, static) end at byte %1, the file "
                              "has %2 bytes")
                   .arg(frameAt(2, 4))
                   .arg(frameAt(2, 2))
            << qint64(frameAt(2, 2));
        QTest::newRow("cut in the index data")
            << good.left(size - 1) << false
            << QStringLiteral("truncated: the index data of frame 3 ends at byte %1, the file has %2 bytes")
                   .arg(size)
                   .arg(size - 1)
            << size;
    }

    void streamsAreReadOnlyAsFarAsDeclared()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, endless);
        QFETCH(QString, message);
        QFETCH(qint64, consumed);
        Stream stream(bytes, endless);
        kestrin::ArtFile art;
        QString error;
        QCOMPARE(fixture::succeeded(kestrin::readArt(stream, art), error), message.isEmpty());
        QCOMPARE(error, message);
        QVERIFY2(stream.consumed() <= consumed, qPrintable(QString::number(stream.consumed())));
        if (message.isEmpty())
            QCOMPARE(art.bytes, bytes);
    }
};

KESTRIN_TEST(ArtReaderTest)
#include "tst_artreader.moc"
