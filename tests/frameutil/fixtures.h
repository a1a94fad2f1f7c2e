#pragma once

#include <QImage>

#include <initializer_list>
#include <utility>

namespace fixtures {

/** A width × height ARGB32 image filled with `background`, with the listed
 *  (x, y) pixels set to `ink`. */
inline QImage canvas(int width, int height, quint32 background, std::initializer_list<std::pair<int, int>> inked = {},
                     quint32 ink = 0xFF102030u)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(background);
    for (const auto &[x, y] : inked)
        reinterpret_cast<quint32 *>(image.scanLine(y))[x] = ink;
    return image;
}

/** A 6 × 5 "F" in three colours on an opaque background: no symmetry hides a
 *  flipped axis or a swapped channel.
 *      ......
 *      .RRRR.
 *      .G....
 *      .GGG..
 *      .B....   */
inline QImage letterF()
{
    QImage image = canvas(6, 5, 0xFFAAAA7Fu);
    auto set = [&](int x, int y, quint32 v) { reinterpret_cast<quint32 *>(image.scanLine(y))[x] = v; };
    for (int x = 1; x <= 4; ++x)
        set(x, 1, 0xFFFF0000u);
    set(1, 2, 0xFF00FF00u);
    for (int x = 1; x <= 3; ++x)
        set(x, 3, 0xFF00FF00u);
    set(1, 4, 0xFF0000FFu);
    return image;
}

inline quint32 at(const QImage &image, int x, int y)
{
    return reinterpret_cast<const quint32 *>(image.constScanLine(y))[x];
}

} // namespace fixtures
