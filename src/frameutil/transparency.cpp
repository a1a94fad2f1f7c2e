#include "frameutil/transparency.h"

namespace kestrin {

quint32 keyColor(int red, int green, int blue)
{
    // Unsigned shifts give the same bits as the signed formula without the
    // undefined behaviour of shifting negative or overflowing values.
    return (static_cast<quint32>(red) << 16) | (static_cast<quint32>(green) << 8) | static_cast<quint32>(blue);
}

namespace {

/** Every pixel p of `image`, row by row, becomes rewrite(p); an image of
 *  another format is first converted to ARGB32. */
template<typename Rewrite>
void rewritePixels(Image &image, Rewrite rewrite)
{
    if (image.isNull())
        return;
    if (image.format() != Image::Format_ARGB32)
        image = image.convertToFormat(Image::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        // The non-const scanLine detaches from any image sharing the pixels.
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        if (!row) // detaching ran out of memory: leave the image as it is
            return;
        for (int x = 0; x < width; ++x)
            row[x] = rewrite(row[x]);
    }
}

} // namespace

void applyKey(Image &image, bool enabled, quint32 key)
{
    rewritePixels(image, [=](quint32 p) { return enabled && (p & 0x00FFFFFFu) == key ? key : (p | 0xFF000000u); });
}

void clearKey(Image &image, quint32 key)
{
    rewritePixels(image, [=](quint32 p) { return (p & 0x00FFFFFFu) == key ? key : p; });
}

bool applyTransparency(Project &project, bool enabled, quint32 key)
{
    if (project.stageCount == 0)
        return false;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < stage.frameCount; ++f)
            applyKey(stage.frames[f]->workImage, enabled, key);
    }
    return true;
}

std::optional<PickedColor> pickColor(const Image &image)
{
    if (image.isNull())
        return std::nullopt;
    const QRgb p = image.pixel(0, 0);
    return PickedColor{qRed(p), qGreen(p), qBlue(p)};
}

} // namespace kestrin
