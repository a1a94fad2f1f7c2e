#include "decode/plainimage.h"

#include <cstring>
#include <limits>
#include <new>

namespace kestrin {

PlainImage::PlainImage(int width, int height, Format format)
{
    if (format != Format_ARGB32 || width <= 0 || height <= 0)
        return;
    // QImage refuses images whose size in bytes does not fit its counters.
    const quint64 bytes = quint64(width) * quint64(height) * 4;
    if (bytes > quint64(std::numeric_limits<qsizetype>::max())
        || quint64(width) * 4 > quint64(std::numeric_limits<int>::max()))
        return;
    uchar *memory = new (std::nothrow) uchar[size_t(bytes)];
    if (!memory)
        return;
    m_data.reset(memory);
    m_width = width;
    m_height = height;
}

uchar *PlainImage::bits()
{
    if (m_data && m_data.use_count() > 1) {
        PlainImage own(m_width, m_height, Format_ARGB32);
        if (own.isNull()) {
            *this = PlainImage();
            return nullptr;
        }
        std::memcpy(own.m_data.get(), m_data.get(), size_t(sizeInBytes()));
        *this = own;
    }
    return m_data.get();
}

QRgb PlainImage::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    return reinterpret_cast<const QRgb *>(constScanLine(y))[x];
}

void PlainImage::fill(uint pixel)
{
    uchar *words = bits();
    if (!words)
        return;
    auto *out = reinterpret_cast<quint32 *>(words);
    const qsizetype count = qsizetype(m_width) * m_height;
    for (qsizetype i = 0; i < count; ++i)
        out[i] = pixel;
}

PlainImage PlainImage::copy(const QRect &area) const
{
    if (isNull() || !area.isValid())
        return PlainImage();
    if (area == rect()) {
        PlainImage same(m_width, m_height, Format_ARGB32);
        if (!same.isNull())
            std::memcpy(same.m_data.get(), m_data.get(), size_t(sizeInBytes()));
        return same;
    }
    PlainImage out(area.width(), area.height(), Format_ARGB32);
    if (out.isNull())
        return out;
    out.fill(0);
    const QRect inside = area.intersected(rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        std::memcpy(out.scanLine(y - area.top()) + (inside.left() - area.left()) * 4,
                    constScanLine(y) + inside.left() * 4, size_t(inside.width()) * 4);
    return out;
}

PlainImage PlainImage::convertToFormat(Format format) const
{
    return format == Format_ARGB32 ? *this : PlainImage();
}

PlainImage PlainImage::mirrored(bool horizontally, bool vertically) const
{
    PlainImage out = copy();
    if (out.isNull())
        return out;
    for (int y = 0; y < m_height; ++y) {
        const auto *from = reinterpret_cast<const quint32 *>(constScanLine(vertically ? m_height - 1 - y : y));
        auto *to = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < m_width; ++x)
            to[x] = from[horizontally ? m_width - 1 - x : x];
    }
    return out;
}

} // namespace kestrin
