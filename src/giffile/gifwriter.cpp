#include "giffile/gifwriter.h"

#include "fileio/failure.h"
#include "fileio/outputfile.h"

#include <QIODevice>

#include <gif_lib.h>

#include <algorithm>

namespace kestrin {

namespace {

int appendBytes(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}

Failure gifFailure(const QString &reason)
{
    return Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), QString(), reason);
}

Failure giflibFailure(int code)
{
    const char *text = GifErrorString(code);
    return gifFailure(text ? QString::fromLatin1(text) : QStringLiteral("GIF error %1").arg(code));
}

/** What is wrong with `a`, or an empty text. */
QString problemOf(const GifAnimation &a)
{
    if (a.width < 1 || a.width > 65535 || a.height < 1 || a.height > 65535)
        return QStringLiteral("a %1 x %2 canvas is outside what a GIF holds").arg(a.width).arg(a.height);
    if (a.palette.isEmpty() || a.palette.size() > 256)
        return QStringLiteral("a GIF palette holds 1 to 256 colours, not %1").arg(a.palette.size());
    if (a.delay < 0 || a.delay > 65535)
        return QStringLiteral("a GIF delay of %1 hundredths is out of range").arg(a.delay);
    if (a.transparentIndex < -1 || a.transparentIndex >= a.palette.size())
        return QStringLiteral("transparent index %1 is not in the palette").arg(a.transparentIndex);
    for (const QByteArray &frame : a.frames) {
        if (frame.size() != qint64(a.width) * a.height)
            return QStringLiteral("a frame of %1 indices on a %2 x %3 canvas")
                .arg(frame.size())
                .arg(a.width)
                .arg(a.height);
    }
    return QString();
}

/** The looping extension: NETSCAPE2.0 with sub-block 1 and a count of 0, "forever". */
bool putLoopForever(GifFileType *gif)
{
    static const GifByteType name[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
        && EGifPutExtensionBlock(gif, sizeof name, name) == GIF_OK
        && EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putFrame(GifFileType *gif, const GifAnimation &a, const QByteArray &frame)
{
    GraphicsControlBlock control;
    control.DisposalMode = DISPOSE_BACKGROUND;
    control.UserInputFlag = false;
    control.DelayTime = a.delay;
    control.TransparentColor = a.transparentIndex;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK
        || EGifPutImageDesc(gif, 0, 0, a.width, a.height, false, nullptr) != GIF_OK)
        return false;
    // giflib masks the pixels of a line in place, so each row goes through a copy.
    std::vector<GifPixelType> row(size_t(a.width));
    for (int y = 0; y < a.height; ++y) {
        const char *in = frame.constData() + qint64(y) * a.width;
        std::copy(in, in + a.width, row.begin());
        if (EGifPutLine(gif, row.data(), a.width) != GIF_OK)
            return false;
    }
    return true;
}

} // namespace

int gifDelay(int framesPerSecond)
{
    const int rate = std::max(1, framesPerSecond);
    return std::max(2, (200 + rate) / (2 * rate));
}

Failure encodeGif(const GifAnimation &a, QByteArray *out)
{
    const QString problem = problemOf(a);
    if (!problem.isEmpty())
        return gifFailure(problem);
    // The colour table's size must be a power of two: unused entries are black.
    int tableSize = 2;
    while (tableSize < a.palette.size())
        tableSize *= 2;
    std::vector<GifColorType> colors(size_t(tableSize), GifColorType{0, 0, 0});
    for (int i = 0; i < a.palette.size(); ++i)
        colors[size_t(i)] = GifColorType{GifByteType(qRed(a.palette[i])), GifByteType(qGreen(a.palette[i])),
                                         GifByteType(qBlue(a.palette[i]))};

    QByteArray bytes;
    int error = 0;
    GifFileType *gif = EGifOpen(&bytes, appendBytes, &error);
    if (!gif)
        return giflibFailure(error);
    EGifSetGifVersion(gif, true);
    ColorMapObject *map = GifMakeMapObject(tableSize, colors.data());
    bool ok = map && EGifPutScreenDesc(gif, a.width, a.height, 8, 0, map) == GIF_OK && putLoopForever(gif);
    GifFreeMapObject(map);
    for (size_t i = 0; ok && i < a.frames.size(); ++i)
        ok = putFrame(gif, a, a.frames[i]);
    const int code = ok ? E_GIF_SUCCEEDED : (gif->Error ? gif->Error : E_GIF_ERR_NOT_ENOUGH_MEM);
    // Closing writes the trailer and frees `gif` whatever happened.
    if (EGifCloseFile(gif, &error) != GIF_OK && ok)
        return giflibFailure(error);
    if (!ok)
        return giflibFailure(code);
    *out = bytes;
    return Failure();
}

Failure saveGif(const QString &path, const GifAnimation &animation)
{
    QByteArray gif;
    Failure failure = encodeGif(animation, &gif);
    if (failure) {
        failure.path = path;
        return failure;
    }
    return saveFile(path, [&](QIODevice &device) { return device.write(gif) == gif.size(); });
}

} // namespace kestrin
