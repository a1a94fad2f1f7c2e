#pragma once

#include <QtGlobal>

namespace kestrinref {

/** A 256-entry palette plus one palette index per pixel.
 *
 *  This is the plain, exhaustive form of colour mapping: every colour is
 *  compared with all 256 entries (each distinct colour once; its pixels take
 *  the remembered index). The generator uses an exact, faster mapper
 *  (NearestColorMap) that gives the same indices; this class stays the
 *  reference that the fast path is checked against, in the tests and the
 *  benchmark.
 *
 *  Palette entries are 4 bytes: blue, green, red, 0. Entries from
 *  colorCount() to 255 stay all zero (black). */
class IndexedImage
{
public:
    IndexedImage() = default;
    ~IndexedImage();
    IndexedImage(const IndexedImage &) = delete;
    IndexedImage &operator=(const IndexedImage &) = delete;

    /** Quantizes `height` contiguous rows of `width` ARGB pixels to at most
     *  256 colours (octree, depth 6) and maps every pixel to its nearest entry
     *  in buffer order. Meant to be called once. Always returns 1. */
    int build(const quint32 *pixels, quint32 width, quint32 height);

    /** The 256 entries (1024 bytes), or null before build(). Writable in place. */
    quint8 *palette() { return m_palette; }
    const quint8 *palette() const { return m_palette; }
    /** One index per pixel, or null before build(). Writable in place. */
    quint8 *indices() { return m_indices; }
    const quint8 *indices() const { return m_indices; }
    quint32 colorCount() const { return m_colorCount; }
    quint64 pixelCount() const { return m_pixelCount; }

    /** Nearest entry for an ARGB pixel, compared as fully opaque:
     *  nearestIndex(255, blue, green, red). */
    quint8 mapPixel(quint32 pixel) const;
    /** Lowest index of the entries at the smallest distance, over all 256
     *  entries (empty ones included). An entry must be strictly closer than
     *  260100 (4 * 255^2) to be chosen at all; otherwise the result is 0. */
    quint8 nearestIndex(quint8 alpha, quint8 blue, quint8 green, quint8 red) const;
    /** Squared distance between (alpha, blue, green, red) and entry i read as
     *  (byte 3, byte 0, byte 1, byte 2); 0 while there is no palette. */
    int colorDistance(int i, quint8 alpha, quint8 blue, quint8 green, quint8 red) const;

private:
    quint8 *m_palette = nullptr;
    quint32 m_colorCount = 0;
    quint8 *m_indices = nullptr;
    quint64 m_pixelCount = 0;
};

/** The plain search over part of a palette: the lowest index among entries
 *  first..end-1 of `palette` (4 bytes each) at the smallest distance
 *  (255 - byte 3)^2 + (blue - b)^2 + (green - g)^2 + (red - r)^2 from the
 *  pixel's colour, comparing every entry of the range. For 0..255 this is
 *  IndexedImage::mapPixel with that palette. Requires first < end <= 256. */
[[nodiscard]] quint8 nearestEntryInRange(const quint8 *palette, int first, int end, quint32 pixel);

} // namespace kestrinref
