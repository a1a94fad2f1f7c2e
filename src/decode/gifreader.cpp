// GIF through giflib: the library decides whether the first frame's data is
// whole. The frame is composed on its canvas as Qt's reader composes it: the
// canvas filled with the transparent colour when the frame has one (alpha 0),
// else with the background colour, and the frame drawn at its place.
#include "decode/formatreaders.h"
#include "decode/frameimage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace kestrin {

namespace {

struct GifSource {
    const uchar *data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool ranOut = false; // giflib asked for bytes past the end
};

int gifRead(GifFileType *gif, GifByteType *out, int count)
{
    auto *source = static_cast<GifSource *>(gif->UserData);
    const size_t wanted = count > 0 ? size_t(count) : 0;
    const size_t n = std::min(wanted, source->size - source->pos);
    if (n < wanted)
        source->ranOut = true;
    std::memcpy(out, source->data + source->pos, n);
    source->pos += n;
    return int(n);
}

QString giflibSays(int error)
{
    const char *text = GifErrorString(error);
    return QStringLiteral("giflib: ") + (text ? QString::fromLatin1(text) : QStringLiteral("error %1").arg(error));
}

/** Closes the file when it goes. */
struct GifHandle {
    GifFileType *gif = nullptr;
    ~GifHandle()
    {
        if (gif) {
            int ignored = 0;
            DGifCloseFile(gif, &ignored);
        }
    }
};

/** Reads records up to the first frame's descriptor, keeping the
 *  transparent index its graphic control extension gives (or -1). */
bool readToFirstFrame(GifFileType *gif, int &transparent)
{
    transparent = -1;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) != GIF_OK)
            return false;
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) == GIF_OK;
        if (record == TERMINATE_RECORD_TYPE) {
            gif->Error = D_GIF_ERR_NO_IMAG_DSCR;
            return false;
        }
        if (record != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType *block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparent = control.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                return false;
        }
    }
}

QRgb colourOf(const ColorMapObject *map, int index, int transparent)
{
    if (!map || index < 0 || index >= map->ColorCount)
        return 0;
    const GifColorType &c = map->Colors[index];
    return index == transparent ? qRgba(c.Red, c.Green, c.Blue, 0) : qRgb(c.Red, c.Green, c.Blue);
}

} // namespace

bool looksLikeGif(const QByteArray &bytes)
{
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

DecodeResult decodeGif(const QByteArray &bytes, const DecodeLimits &limits)
{
    GifSource source;
    source.data = reinterpret_cast<const uchar *>(bytes.constData());
    source.size = size_t(bytes.size());
    GifHandle handle;
    int error = 0;
    handle.gif = DGifOpen(&source, gifRead, &error);
    GifFileType *gif = handle.gif;
    if (!gif)
        return decodeFailure(source.ranOut ? DecodeFailure::Truncated : DecodeFailure::NotAnImage, giflibSays(error));
    int transparent = -1;
    if (!readToFirstFrame(gif, transparent))
        return decodeFailure(source.ranOut || gif->Error == D_GIF_ERR_NO_IMAG_DSCR ? DecodeFailure::Truncated
                                                                                   : DecodeFailure::NotAnImage,
                             QStringLiteral("the GIF has no whole first frame (%1)").arg(giflibSays(gif->Error)));
    const GifImageDesc &frame = gif->Image;
    const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map)
        return decodeFailure(DecodeFailure::NotAnImage, QStringLiteral("the GIF's first frame has no colour map"));
    // A canvas of no size is the frame's own.
    const int width = gif->SWidth > 0 && gif->SHeight > 0 ? gif->SWidth : frame.Width;
    const int height = gif->SWidth > 0 && gif->SHeight > 0 ? gif->SHeight : frame.Height;
    DecodeResult result;
    if (width <= 0 || height <= 0 || frame.Width <= 0 || frame.Height <= 0)
        return decodeFailure(DecodeFailure::NotAnImage, QStringLiteral("the GIF declares no width or height"));
    if (exceedsLimits(quint64(width), quint64(height), limits, result)
        || exceedsLimits(quint64(frame.Width), quint64(frame.Height), limits, result))
        return result;
    Image image(width, height, Image::Format_ARGB32);
    if (image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    image.fill(transparent >= 0 ? colourOf(map, transparent, transparent)
                                : colourOf(gif->SColorMap ? gif->SColorMap : map, gif->SBackGroundColor, -1));
    // Rows in the order they are stored: four passes when interlaced.
    std::vector<int> order;
    if (frame.Interlace) {
        for (const auto &pass : {std::pair<int, int>{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
            for (int y = pass.first; y < frame.Height; y += pass.second)
                order.push_back(y);
        }
    } else {
        for (int y = 0; y < frame.Height; ++y)
            order.push_back(y);
    }
    std::vector<GifPixelType> line(size_t(frame.Width));
    for (const int y : order) {
        if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
            return decodeFailure(DecodeFailure::Truncated,
                                 QStringLiteral("the GIF's first frame stops before its row %1 of %2 (%3)")
                                     .arg(y)
                                     .arg(frame.Height)
                                     .arg(giflibSays(gif->Error)));
        const int top = frame.Top + y;
        if (top < 0 || top >= height)
            continue;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(top));
        for (int x = 0; x < frame.Width; ++x) {
            const int left = frame.Left + x;
            if (line[size_t(x)] >= map->ColorCount)
                return decodeFailure(DecodeFailure::Truncated,
                                     QStringLiteral("pixel (%1, %2) of the GIF uses colour %3 of a map of %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(line[size_t(x)])
                                         .arg(map->ColorCount));
            if (left >= 0 && left < width)
                out[left] = colourOf(map, line[size_t(x)], transparent);
        }
    }
    result.image = image;
    result.decoder = "gif";
    return result;
}

} // namespace kestrin
