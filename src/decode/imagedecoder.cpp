#include "decode/imagedecoder.h"

#include "decode/formatlibraries.h"
#include "decode/formatreaders.h"
#include "decode/guireaders.h"

#ifndef KESTRIN_PLAIN_IMAGES
#include "decode/imagechecks.h"
#include "decode/stbdecoder.h"

#include <QColorSpace>
#include <QImageReader>
#endif
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrin {

QString failureText(DecodeFailure failure)
{
    switch (failure) {
    case DecodeFailure::None:
        return QStringLiteral("no failure");
    case DecodeFailure::NotRegularFile:
        return QStringLiteral("not a regular file");
    case DecodeFailure::CannotOpen:
        return QStringLiteral("cannot open");
    case DecodeFailure::CannotRead:
        return QStringLiteral("cannot read");
    case DecodeFailure::TooLarge:
        return QStringLiteral("too large");
    case DecodeFailure::NotAnImage:
        return QStringLiteral("not an image");
    case DecodeFailure::Unsupported:
        return QStringLiteral("unsupported");
    case DecodeFailure::Truncated:
        return QStringLiteral("truncated");
    }
    return QString();
}

QString DecodeResult::message() const
{
    const QString text = failureText(failure.kind.as<DecodeFailure>());
    return failure.reason.isEmpty() ? text : text + QStringLiteral(": ") + failure.reason;
}

DecodeResult decodeFailure(DecodeFailure kind, const QString &reason)
{
    DecodeResult result;
    result.failure = Failure::of(kind, QString(), reason);
    return result;
}

qint64 maxFrameFileBytes(QSize declared)
{
    if (!declared.isValid())
        return kUnrecognisedFileBytes;
    const quint64 pixels = quint64(declared.width()) * quint64(declared.height());
    const quint64 most = quint64(kMaxImageFileBytes);
    const quint64 room = quint64(kUnrecognisedFileBytes);
    return qint64(pixels > (most - room) / kMaxFileBytesPerPixel ? most : room + pixels * kMaxFileBytesPerPixel);
}

bool exceedsLimits(quint64 width, quint64 height, const DecodeLimits &limits, DecodeResult &result)
{
    const quint64 most = ~quint64(0);
    const quint64 bytes = height != 0 && width > most / 4 / height ? most : width * height * 4;
    if (limits.pixelBytes == 0 || bytes <= limits.pixelBytes)
        return false;
    result = decodeFailure(DecodeFailure::TooLarge,
                           QStringLiteral("the image is %1 x %2 pixels, %3 MiB decoded; at most %4 MiB are decoded")
                               .arg(width)
                               .arg(height)
                               .arg(bytes >> 20)
                               .arg(limits.pixelBytes >> 20));
    return true;
}

namespace {

/** A QFile that Qt's image readers see under the frame's own name, so that
 *  QImageReader picks the reader by the name's suffix first and then by the
 *  content, exactly as it does for QImage::load(path), while the bytes come
 *  from memory (the very bytes that were checked) or from a descriptor that
 *  is already open. The name itself is never opened. */
class NamedSource : public QFile
{
public:
    NamedSource(const QString &name, const QByteArray &bytes) : QFile(name), m_data(bytes), m_length(bytes.size()) {}
    NamedSource(const QString &name, int descriptor, qint64 size) : QFile(name), m_fd(descriptor), m_length(size) {}
    ~NamedSource() override { QIODevice::close(); }

    // Unbuffered, so that pos() is where the next readData() reads.
    bool open(OpenMode) override { return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }
    qint64 pos() const override { return QIODevice::pos(); }
    bool seek(qint64 offset) override { return QIODevice::seek(offset); }
    bool atEnd() const override { return QIODevice::atEnd(); }
    void close() override { QIODevice::close(); }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 at = QIODevice::pos();
        if (at < 0 || at >= m_length || max <= 0)
            return 0;
        const qint64 count = std::min(max, m_length - at);
#ifdef Q_OS_UNIX
        if (m_fd >= 0) {
            for (;;) {
                const ssize_t got = ::pread(m_fd, out, size_t(count), off_t(at));
                if (got >= 0 || errno != EINTR)
                    return got < 0 ? -1 : qint64(got);
            }
        }
#endif
        std::memcpy(out, m_data.constData() + at, size_t(count));
        return count;
    }
    qint64 readLineData(char *out, qint64 max) override
    {
        return QIODevice::readLineData(out, max);
    }
    qint64 writeData(const char *, qint64) override
    {
        return -1;
    }

private:
    QByteArray m_data;
    int m_fd = -1;
    qint64 m_length = 0;
};

DecodeResult failure(DecodeFailure kind, const QString &reason)
{
    return decodeFailure(kind, reason);
}

/** Largest decoded image accepted, in bytes of 32-bit pixels: Qt's own allocation limit. */
DecodeLimits currentLimits()
{
#ifdef KESTRIN_PLAIN_IMAGES
    // As QImageReader::allocationLimit() finds it: QT_IMAGEIO_MAXALLOC when
    // it holds a number from 0 up (0: no limit), else Qt's default.
    static const int megabytes = [] {
        bool ok = false;
        const int set = qEnvironmentVariableIntValue("QT_IMAGEIO_MAXALLOC", &ok);
        return ok && set >= 0 ? set : kDefaultAllocationLimitMiB;
    }();
#else
    const int megabytes = QImageReader::allocationLimit();
#endif
    DecodeLimits limits;
    limits.pixelBytes = megabytes > 0 ? quint64(megabytes) << 20 : 0;
    return limits;
}

#ifndef KESTRIN_PLAIN_IMAGES
/** A TooLarge failure when `size` needs more than the limit as 32-bit pixels. */
bool exceedsLimit(QSize size, DecodeResult &result)
{
    return size.isValid() && exceedsLimits(quint64(size.width()), quint64(size.height()), currentLimits(), result);
}
#endif

#ifndef KESTRIN_PLAIN_IMAGES
/** The image a Qt reader fills, cleared first: a reader that leaves pixels
 *  unset then leaves zeros, never leftovers of the heap. Readers that make
 *  their own image are unaffected. */
QImage clearedImage(QSize size, QImage::Format format)
{
    if (!size.isValid() || size.isEmpty() || format == QImage::Format_Invalid)
        return QImage();
    QImage image(size, format);
    if (!image.isNull())
        image.fill(0);
    return image;
}

bool hasTgaSuffix(const QString &name)
{
    return QFileInfo(name).suffix().compare(QLatin1String("tga"), Qt::CaseInsensitive) == 0;
}

bool hasTgaFooter(const QByteArray &bytes)
{
    return bytes.size() >= 44 && bytes.mid(bytes.size() - 18, 16) == "TRUEVISION-XFILE";
}

/** The success `result` for `decoded`, in 32-bit ARGB (or TooLarge when
 *  memory runs out for the conversion). */
void finish(const QImage &decoded, const QByteArray &decoder, DecodeResult &result)
{
    QImage image = decoded.format() == QImage::Format_ARGB32 ? decoded : decoded.convertToFormat(QImage::Format_ARGB32);
    image.setColorSpace(QColorSpace()); // the numbers as stored; nothing here converts colours
    if (image.isNull()) {
        result = failure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
        return;
    }
    result = DecodeResult();
    result.image = image;
    result.decoder = decoder;
}

#endif

using LibraryDecoder = DecodeResult (*)(const QByteArray &, const DecodeLimits &);

/** The library that reads data with this signature, if any. */
LibraryDecoder librarySniffed(const QByteArray &bytes)
{
    if (looksLikePng(bytes))
        return decodePng;
    if (looksLikeJpeg(bytes))
        return decodeJpeg;
#ifndef KESTRIN_PLAIN_IMAGES // libtiff's pixels pass through QImage
    if (looksLikeTiff(bytes))
        return decodeTiff;
#endif
    if (looksLikeWebp(bytes))
        return decodeWebp;
    if (looksLikeGif(bytes))
        return decodeGif;
    if (looksLikePlainPbm(bytes))
        return decodePlainPbm;
    return nullptr;
}

#ifndef KESTRIN_PLAIN_IMAGES

/** The library for a name's suffix (or Qt's name for a format), if any. */
LibraryDecoder libraryNamed(const QByteArray &format)
{
    if (format == "png")
        return decodePng;
    if (format == "jpg" || format == "jpeg" || format == "jpe")
        return decodeJpeg;
    if (format == "tif" || format == "tiff")
        return decodeTiff;
    if (format == "webp")
        return decodeWebp;
    if (format == "gif")
        return decodeGif;
    return nullptr;
}

/** Qt's readers that decide a file here, in the order they are asked
 *  whether the data is theirs. Qt's TGA reader is not among them: stb_image
 *  reads every TGA (Qt's misplaces the pixels of several kinds and can only
 *  complain about the rest on standard error). Icons come before WBMP, whose
 *  weak signature an icon's header also fits. */
constexpr const char *kQtFormats[] = {"bmp", "ppm", "xpm", "xbm", "ico", "cur", "wbmp", "icns", "mng"};

/** Qt's format name for a file name's suffix, when that reader is one of ours. */
QByteArray qtFormatNamed(const QString &name)
{
    const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
    if (suffix == "pbm" || suffix == "pgm" || suffix == "pnm")
        return QByteArrayLiteral("ppm");
    if (suffix == "dib")
        return QByteArrayLiteral("bmp");
    for (const char *format : kQtFormats) {
        if (suffix == format)
            return suffix;
    }
    return QByteArray();
}

/** A reader for the data on `device`, of the first of our Qt formats whose
 *  reader takes it (the name's own first, as QImageReader does), or null.
 *  Only those readers ever look at the data: none of them prints while
 *  recognising a file. */
std::unique_ptr<QImageReader> qtReaderFor(QIODevice &device, const QString &name)
{
    QList<QByteArray> order;
    if (const QByteArray named = qtFormatNamed(name); !named.isEmpty())
        order.append(named);
    for (const char *format : kQtFormats) {
        if (!order.contains(format))
            order.append(format);
    }
    for (const QByteArray &format : order) {
        device.seek(0);
        auto reader = std::make_unique<QImageReader>(&device, format);
        reader->setAutoDetectImageFormat(false);
        if (reader->canRead())
            return reader;
    }
    device.seek(0);
    return nullptr;
}

/** What Qt's readers make of the data: true with `result` filled in when one
 *  of them takes it, false when none recognises it. */
bool decodeWithQt(const QString &name, const QByteArray &bytes, DecodeResult &result)
{
    NamedSource source(name, bytes);
    source.open(QIODevice::ReadOnly);
    const std::unique_ptr<QImageReader> reader = qtReaderFor(source, name);
    if (!reader)
        return false;
    const QByteArray format = reader->format();
    // The check comes before the reader parses more than the signature: it
    // refuses what the reader would fill in or complain about.
    const CheckVerdict verdict = checkForQtReader(format, bytes, [&reader] { return reader->size(); });
    if (verdict.failure != DecodeFailure::None) {
        result = failure(verdict.failure, verdict.reason);
        return true;
    }
    // A BMP stored top down declares a negative height.
    const QSize declared = reader->size();
    const QSize pixels(declared.width(), std::abs(declared.height()));
    if (exceedsLimit(pixels, result))
        return true;
    QImage image = clearedImage(pixels, reader->imageFormat());
    if (reader->read(&image) && !image.isNull())
        finish(image, format, result);
    else
        result = failure(
            DecodeFailure::NotAnImage,
            QStringLiteral("Qt's %1 reader declines it: %2").arg(QString::fromLatin1(format), reader->errorString()));
    return true;
}

/** stb_image's reading of a PSD or TGA. */
DecodeResult decodeWithStb(const QByteArray &bytes, bool psd)
{
    DecodeResult result;
    const QString stbName = psd ? QStringLiteral("stb_image's PSD reader") : QStringLiteral("stb_image's TGA reader");
    QSize declared;
    PsdLayout layout;
    const CheckVerdict verdict = psd ? checkPsdForStb(bytes, &declared, &layout) : checkTgaForStb(bytes, &declared);
    if (verdict.failure == DecodeFailure::NotAnImage)
        return failure(DecodeFailure::NotAnImage, stbName + QStringLiteral(": ") + verdict.reason);
    if (verdict.failure != DecodeFailure::None)
        return failure(verdict.failure, verdict.reason);
    if (exceedsLimit(declared, result))
        return result;
    QString error;
    const QImage image = psd ? decodePsdWithStb(bytes, layout, error) : decodeTgaWithStb(bytes, error);
    if (image.isNull())
        return failure(DecodeFailure::NotAnImage, stbName + QStringLiteral(" declines it: ") + error);
    finish(image, psd ? QByteArrayLiteral("psd (stb_image)") : QByteArrayLiteral("tga (stb_image)"), result);
    return result;
}

#endif // !KESTRIN_PLAIN_IMAGES

#ifdef KESTRIN_PLAIN_IMAGES
GuiReadersLoader guiReadersLoader = nullptr;

/** The readers of the program with Qt GUI, loaded the first time a frame
 *  needs them; null with `why` set when they cannot be had. */
const GuiReaders *loadedGuiReaders(QString &why)
{
    static std::once_flag once;
    static const GuiReaders *readers = nullptr;
    static QString failed;
    std::call_once(once, [] {
        if (guiReadersLoader)
            readers = guiReadersLoader(failed);
        else
            failed = QStringLiteral("no reader for this format was given to the program");
    });
    why = failed;
    return readers;
}

DecodeResult decodeNamed(const QString &name, const QByteArray &bytes)
{
    if (const LibraryDecoder decode = librarySniffed(bytes))
        return decode(bytes, currentLimits());
    QString why;
    const GuiReaders *readers = loadedGuiReaders(why);
    if (!readers)
        return failure(DecodeFailure::Unsupported, why);
    GuiDecoded decoded;
    readers->decode(name, bytes, decoded);
    if (decoded.failure != quint8(DecodeFailure::None))
        return failure(DecodeFailure(decoded.failure), decoded.reason);
    DecodeResult result;
    result.image = Image(decoded.width, decoded.height, Image::Format_ARGB32);
    if (result.image.isNull() || decoded.pixels.size() != result.image.sizeInBytes())
        return failure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    std::memcpy(result.image.bits(), decoded.pixels.constData(), size_t(decoded.pixels.size()));
    result.decoder = decoded.decoder;
    result.notices = decoded.notices;
    return result;
}
#else
DecodeResult decodeNamed(const QString &name, const QByteArray &bytes)
{
    // The formats with a well-kept library: it alone decides.
    if (const LibraryDecoder decode = librarySniffed(bytes))
        return decode(bytes, currentLimits());
    if (bytes.startsWith("8BPS"))
        return decodeWithStb(bytes, true);
    // TGA has no signature: data is taken for TGA by its name (unless its
    // header is no TGA header and another reader knows it) or, when no other
    // reader knows it, by its version-2 footer.
    DecodeResult tga;
    const bool tgaNamed = hasTgaSuffix(name);
    if (tgaNamed) {
        tga = decodeWithStb(bytes, false);
        if (tga.failure.kind != DecodeFailure::NotAnImage)
            return tga;
    }
    DecodeResult result;
    if (decodeWithQt(name, bytes, result))
        return result;
    if (tgaNamed)
        return tga;
    if (hasTgaFooter(bytes))
        return decodeWithStb(bytes, false);
    // Data cut inside its header is often too short for a reader to
    // recognise; the name says what it was meant to be.
    const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
    if (const LibraryDecoder decode = libraryNamed(suffix))
        return decode(bytes, currentLimits());
    const QByteArray named = qtFormatNamed(name);
    if (!named.isEmpty()) {
        const CheckVerdict byName = checkForQtReader(named, bytes, [] { return QSize(); });
        if (byName.failure == DecodeFailure::Truncated)
            return failure(byName.failure, byName.reason);
    }
    return failure(DecodeFailure::NotAnImage, QStringLiteral("no image reader recognises the data"));
}
#endif

// ---- opening files without blocking ----------------------------------------

/** A file opened for reading, or why it was not. */
struct OpenedFile {
    int fd = -1;
    qint64 size = 0;
    DecodeFailure failure = DecodeFailure::None;
    QString reason;

    OpenedFile() = default;
    OpenedFile(const OpenedFile &) = delete;
    OpenedFile &operator=(const OpenedFile &) = delete;
    ~OpenedFile()
    {
#ifdef Q_OS_UNIX
        if (fd >= 0)
            ::close(fd);
#endif
    }
};

#ifdef Q_OS_UNIX
QString whatItIs(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("neither a file nor a folder");
}

bool refuseSpecial(const struct stat &st, OpenedFile &file)
{
    if (S_ISREG(st.st_mode))
        return false;
    file.failure = DecodeFailure::NotRegularFile;
    file.reason = QStringLiteral("it is %1").arg(whatItIs(st.st_mode));
    return true;
}

bool refuseLarge(qint64 size, OpenedFile &file)
{
    if (size <= kMaxImageFileBytes)
        return false;
    file.failure = DecodeFailure::TooLarge;
    file.reason = QStringLiteral("the file has %1 bytes; image files of more than %2 MiB are not read")
                      .arg(size)
                      .arg(kMaxImageFileBytes >> 20);
    return true;
}
#endif

/** Opens `path` for reading only when it is a regular file. It is looked at
 *  with stat first, so that a FIFO or device is never opened; the open
 *  itself does not block (O_NONBLOCK), and the descriptor is checked again
 *  in case the name changed in between. */
void openFrameFile(const QString &path, OpenedFile &file)
{
    if (path.isEmpty() || path.contains(QChar(0))) {
        file.failure = DecodeFailure::CannotOpen;
        file.reason
            = path.isEmpty() ? QStringLiteral("no file name") : QStringLiteral("the name holds a NUL character");
        return;
    }
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        file.failure = DecodeFailure::CannotOpen;
        file.reason = qt_error_string(errno);
        return;
    }
    if (refuseSpecial(st, file) || refuseLarge(qint64(st.st_size), file))
        return;
    file.fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0) {
        file.failure = DecodeFailure::CannotOpen;
        file.reason = qt_error_string(errno);
        return;
    }
    if (::fstat(file.fd, &st) != 0) {
        file.failure = DecodeFailure::CannotRead;
        file.reason = qt_error_string(errno);
        return;
    }
    if (refuseSpecial(st, file) || refuseLarge(qint64(st.st_size), file))
        return;
    file.size = qint64(st.st_size);
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        file.failure = DecodeFailure::NotRegularFile;
        file.reason = QStringLiteral("it is not a regular file");
    } else if (!info.exists()) {
        file.failure = DecodeFailure::CannotOpen;
        file.reason = QStringLiteral("No such file or directory");
    } else if (info.size() > kMaxImageFileBytes) {
        file.failure = DecodeFailure::TooLarge;
        file.reason = QStringLiteral("the file has %1 bytes").arg(info.size());
    }
    file.size = info.size();
#endif
}

/** The whole content of an opened file, read to its end (a file that grows
 *  meanwhile is read on, up to `limit`; one that shrinks gives what is
 *  left). False with the failure set in `file`. */
bool readWhole(const QString &path, OpenedFile &file, QByteArray &bytes, qint64 limit = kMaxImageFileBytes)
{
#ifdef Q_OS_UNIX
    Q_UNUSED(path);
    bytes.resize(qsizetype(file.size));
    qint64 done = 0;
    char probe[4096]; // a read past the size stat gave tells whether the file grew meanwhile
    for (;;) {
        const bool inside = done < bytes.size();
        char *to = inside ? bytes.data() + done : probe;
        const size_t room = inside ? size_t(bytes.size() - done) : sizeof probe;
        const ssize_t got = ::read(file.fd, to, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.failure = DecodeFailure::CannotRead;
            file.reason = qt_error_string(errno);
            return false;
        }
        if (got == 0)
            break;
        if (!inside) {
            if (bytes.size() + got > limit) {
                (void)refuseLarge(bytes.size() + got, file);
                return false;
            }
            bytes.append(probe, qsizetype(got));
        }
        done += got;
    }
    bytes.truncate(qsizetype(done)); // a file that shrank meanwhile: what is left
    return true;
#else
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        file.failure = DecodeFailure::CannotOpen;
        file.reason = in.errorString();
        return false;
    }
    bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        file.failure = DecodeFailure::CannotRead;
        file.reason = in.errorString();
        return false;
    }
    return true;
#endif
}

/** The size a JPEG, GIF or WebP header on `source` declares, read where the
 *  format keeps it (after a walk over a JPEG's marker segments; through
 *  libwebp's header parser for WebP); invalid when it is not there. */
QSize librarySizeOf(QIODevice &source, const QByteArray &head)
{
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    if (looksLikeGif(head))
        return head.size() >= 10 ? QSize(qFromLittleEndian<quint16>(h + 6), qFromLittleEndian<quint16>(h + 8))
                                 : QSize();
    if (looksLikeWebp(head)) {
        source.seek(0);
        const QByteArray start = source.read(64);
        int width = 0, height = 0;
        const WebpLibrary *webp = webpLibrary();
        if (webp
            && webp->WebPGetInfo(reinterpret_cast<const uint8_t *>(start.constData()), size_t(start.size()), &width,
                                 &height))
            return QSize(width, height);
        return QSize();
    }
    if (!looksLikeJpeg(head))
        return QSize();
    qint64 pos = 2;
    for (int segment = 0; segment < 4096; ++segment) {
        source.seek(pos);
        const QByteArray marker = source.read(9);
        if (marker.size() < 4 || uchar(marker[0]) != 0xff)
            return QSize();
        const uchar code = uchar(marker[1]);
        if (code == 0xff) { // fill byte before a marker
            ++pos;
            continue;
        }
        const auto *m = reinterpret_cast<const uchar *>(marker.constData());
        const bool frame = code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
        if (frame)
            return marker.size() == 9 ? QSize(qFromBigEndian<quint16>(m + 7), qFromBigEndian<quint16>(m + 5)) : QSize();
        if (code == 0xd9 || code == 0xda) // end of image, or scan data before any frame header
            return QSize();
        if (code == 0x01 || (code >= 0xd0 && code <= 0xd8)) { // markers without a segment
            pos += 2;
            continue;
        }
        pos += 2 + qFromBigEndian<quint16>(m + 2);
    }
    return QSize();
}

/** The size the header of a frame file declares (read through the open
 *  descriptor `fd` of a file of `fileSize` bytes, or from `whole` when `fd`
 *  is -1); invalid when no reader recognises it. */
QSize declaredSize(const QString &path, int fd, qint64 fileSize, const QByteArray &whole)
{
    const std::unique_ptr<NamedSource> device
        = fd >= 0 ? std::make_unique<NamedSource>(path, fd, fileSize) : std::make_unique<NamedSource>(path, whole);
    NamedSource &source = *device;
    source.open(QIODevice::ReadOnly);
    QSize size;
    const QByteArray head = source.peek(26);
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    // The two commonest headers are read here (the size sits at a fixed
    // place); libtiff reads a TIFF's, quietly.
    if (head.size() >= 24 && looksLikePng(head) && head.mid(12, 4) == "IHDR") {
        const qint64 width = qFromBigEndian<quint32>(h + 16), height = qFromBigEndian<quint32>(h + 20);
        if (width <= 0x7fffffff && height <= 0x7fffffff)
            size = QSize(int(width), int(height));
    } else if (head.size() == 26 && head.startsWith("BM") && qFromLittleEndian<quint32>(h + 14) >= 40) {
        // Windows info headers (40 bytes and longer); a negative height: rows stored top down.
        const qint32 width = qFromLittleEndian<qint32>(h + 18), height = qFromLittleEndian<qint32>(h + 22);
        if (width > 0 && height != 0 && height != std::numeric_limits<qint32>::min())
            size = QSize(width, std::abs(height));
#ifdef KESTRIN_PLAIN_IMAGES
    } else if (looksLikeJpeg(head) || looksLikeGif(head) || looksLikeWebp(head)) {
        size = librarySizeOf(source, head);
    }
    if (!size.isValid() || size.isEmpty()) {
        // Every other header, and the names and footers that make a header
        // a TGA's, are known to the readers with Qt GUI.
        QString why;
        const GuiReaders *readers = loadedGuiReaders(why);
        size = readers ? readers->declaredSize(path, fd, fileSize, whole) : QSize();
    }
#else
    } else if (looksLikeTiff(head)) {
        size = tiffDeclaredSize(fd, whole, fileSize);
    } else if (looksLikeJpeg(head) || looksLikeGif(head) || looksLikeWebp(head)) {
        size = librarySizeOf(source, head);
    } else if (const std::unique_ptr<QImageReader> reader = qtReaderFor(source, path)) {
        size = reader->size();
    }
    if (size.width() > 0 && size.height() < 0) // BMP stored top down
        size.setHeight(-size.height());
    if (!size.isValid() || size.isEmpty()) {
        // stb_image's formats: the PSD header, or a TGA header by name or footer.
        source.seek(0);
        const QByteArray start = source.read(26);
        source.seek(std::max<qint64>(fileSize - 18, 0));
        const QByteArray tail = source.read(18);
        QSize declared;
        if (start.startsWith("8BPS"))
            (void)checkPsdForStb(start, &declared);
        else if (hasTgaSuffix(path) || tail.startsWith("TRUEVISION-XFILE"))
            (void)checkTgaForStb(start, &declared);
        size = declared;
    }
#endif
    return size;
}

/** Fills `probe` with the size the header of the open `file` declares
 *  (read through its descriptor, or from `whole` where there is none). */
void probeOpened(const QString &path, const OpenedFile &file, const QByteArray &whole, SizeProbe &probe)
{
    const QSize size = declaredSize(path, file.fd, file.size, whole);
    if (!size.isValid() || size.isEmpty()) {
        probe.failure
            = Failure::of(DecodeFailure::NotAnImage, path, QStringLiteral("no image reader recognises its header"));
        return;
    }
    probe.size = size;
}

} // namespace

DecodeResult decodeImageData(const QByteArray &bytes, const QByteArray &formatHint)
{
    const QString name
        = formatHint.isEmpty() ? QStringLiteral("image") : QStringLiteral("image.") + QString::fromLatin1(formatHint);
    return decodeNamed(name, bytes);
}

DecodeResult decodeImageFile(const QString &path)
{
    DecodeResult result;
    OpenedFile file;
    QByteArray bytes;
    openFrameFile(path, file);
    qint64 limit = kMaxImageFileBytes;
#ifdef Q_OS_UNIX
    if (file.failure == DecodeFailure::None) {
        // Read no more than the image the header declares can need.
        SizeProbe probe;
        probeOpened(path, file, QByteArray(), probe);
        limit = probe.ok() ? maxFrameFileBytes(probe.size) : kUnrecognisedFileBytes;
        if (file.size > limit) {
            file.failure = probe.ok() ? DecodeFailure::TooLarge : DecodeFailure::NotAnImage;
            file.reason = probe.ok()
                ? QStringLiteral("the file has %1 bytes; a %2 x %3 image needs at most %4")
                      .arg(file.size)
                      .arg(probe.size.width())
                      .arg(probe.size.height())
                      .arg(limit)
                : QStringLiteral("no image reader recognises its header, and it has %1 bytes").arg(file.size);
        }
    }
#endif
    if (file.failure == DecodeFailure::None && readWhole(path, file, bytes, limit))
        result = decodeNamed(path, bytes);
    else
        result = failure(file.failure, file.reason);
    result.path = path;
    if (result.failure)
        result.failure.path = path;
    return result;
}

SizeProbe probeImageFile(const QString &path)
{
    SizeProbe probe;
    probe.path = path;
    OpenedFile file;
    openFrameFile(path, file);
    QByteArray whole; // only where descriptors are not used
#ifndef Q_OS_UNIX
    if (file.failure == DecodeFailure::None)
        (void)readWhole(path, file, whole);
#endif
    if (file.failure != DecodeFailure::None) {
        probe.failure = Failure::of(file.failure, path, file.reason);
        return probe;
    }
    probe.fileBytes = file.size;
    probeOpened(path, file, whole, probe);
    return probe;
}

#ifdef KESTRIN_PLAIN_IMAGES
void setGuiReadersLoader(GuiReadersLoader loader)
{
    guiReadersLoader = loader;
}
#else
namespace {

void decodeForPlainImages(const QString &name, const QByteArray &bytes, GuiDecoded &out)
{
    const DecodeResult result = decodeNamed(name, bytes);
    out = GuiDecoded();
    if (result.failure) {
        out.failure = quint8(result.failure.kind.as<DecodeFailure>());
        out.reason = result.failure.reason;
        return;
    }
    out.decoder = result.decoder;
    out.notices = result.notices;
    out.width = result.image.width();
    out.height = result.image.height();
    out.pixels = QByteArray(reinterpret_cast<const char *>(result.image.constBits()), result.image.sizeInBytes());
}

} // namespace

const GuiReaders &guiReaders()
{
    static const GuiReaders readers{decodeForPlainImages, declaredSize};
    return readers;
}
#endif

} // namespace kestrin
