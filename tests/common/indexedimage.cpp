#include "indexedimage.h"

#include "quantize/octreequantizer.h"

#include <cstring>
#include <unordered_map>

namespace kestrinref {

using kestrin::OctreeQuantizer;

IndexedImage::~IndexedImage()
{
    delete[] m_palette;
    delete[] m_indices;
}

int IndexedImage::build(const quint32 *pixels, quint32 width, quint32 height)
{
    delete[] m_palette;
    delete[] m_indices;
    m_palette = new quint8[1024];
    std::memset(m_palette, 0, 1024);
    {
        OctreeQuantizer quantizer(256, 6);
        quantizer.addPixels(pixels, width, height);
        quantizer.getPalette(m_palette);
        m_colorCount = quantizer.colorCount();
    }
    m_pixelCount = quint64(width) * height;
    m_indices = new quint8[m_pixelCount ? m_pixelCount : 1];
    // mapPixel reads only the colour, so each distinct colour is searched once.
    std::unordered_map<quint32, quint8> searched;
    for (quint64 i = 0; i < m_pixelCount; ++i) {
        const quint32 colour = pixels[i] & 0xffffffu;
        auto found = searched.find(colour);
        if (found == searched.end())
            found = searched.emplace(colour, mapPixel(colour)).first;
        m_indices[i] = found->second;
    }
    return 1;
}

quint8 IndexedImage::mapPixel(quint32 pixel) const
{
    return nearestIndex(255, pixel & 0xff, (pixel >> 8) & 0xff, (pixel >> 16) & 0xff);
}

quint8 IndexedImage::nearestIndex(quint8 alpha, quint8 blue, quint8 green, quint8 red) const
{
    int best = 260100;
    int bestIndex = 0;
    for (int i = 0; i < 256; ++i) {
        const int d = colorDistance(i, alpha, blue, green, red);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return quint8(bestIndex);
}

int IndexedImage::colorDistance(int i, quint8 alpha, quint8 blue, quint8 green, quint8 red) const
{
    if (!m_palette)
        return 0;
    const quint8 *e = m_palette + 4 * i;
    const int da = int(alpha) - int(e[3]);
    const int db = int(blue) - int(e[0]);
    const int dg = int(green) - int(e[1]);
    const int dr = int(red) - int(e[2]);
    return da * da + db * db + dg * dg + dr * dr;
}

quint8 nearestEntryInRange(const quint8 *palette, int first, int end, quint32 pixel)
{
    const int blue = pixel & 0xff, green = (pixel >> 8) & 0xff, red = (pixel >> 16) & 0xff;
    int best = -1;
    int bestIndex = first;
    for (int i = first; i < end; ++i) {
        const quint8 *e = palette + 4 * i;
        const int d = (255 - e[3]) * (255 - e[3]) + (blue - e[0]) * (blue - e[0]) + (green - e[1]) * (green - e[1])
            + (red - e[2]) * (red - e[2]);
        if (best < 0 || d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return quint8(bestIndex);
}

} // namespace kestrinref
