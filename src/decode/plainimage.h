#pragma once

// PlainImage: the part of QImage that the core uses, for 32-bit ARGB pixels
// only, without Qt GUI. Same layout (rows of width 32-bit words, no padding),
// same sharing: copies share the pixels until one of them is written through
// (bits(), scanLine(), fill()), which then gets its own. A size that cannot be
// allocated gives a null image, as QImage does.

#include <QRect>
#include <QRgb>
#include <QSize>

#include <memory>

namespace kestrin {

class PlainImage
{
public:
    /** The names QImage gives these layouts; only Format_ARGB32 is ever held. */
    enum Format {
        Format_Invalid = 0,
        Format_RGB32 = 4,
        Format_ARGB32 = 5,
        Format_ARGB32_Premultiplied = 6,
    };

    PlainImage() = default;
    /** A width x height image of uninitialised pixels; null when `format` is
     *  not Format_ARGB32, the size is empty or the memory is not there. */
    PlainImage(int width, int height, Format format);
    PlainImage(QSize size, Format format) : PlainImage(size.width(), size.height(), format) {}

    [[nodiscard]] bool isNull() const { return !m_data; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] QSize size() const { return QSize(m_width, m_height); }
    [[nodiscard]] QRect rect() const { return QRect(0, 0, m_width, m_height); }
    [[nodiscard]] Format format() const { return m_data ? Format_ARGB32 : Format_Invalid; }
    [[nodiscard]] qsizetype bytesPerLine() const { return qsizetype(m_width) * 4; }
    [[nodiscard]] qsizetype sizeInBytes() const { return bytesPerLine() * m_height; }

    [[nodiscard]] const uchar *constBits() const { return m_data.get(); }
    [[nodiscard]] const uchar *bits() const { return m_data.get(); }
    [[nodiscard]] uchar *bits();
    [[nodiscard]] const uchar *constScanLine(int y) const { return m_data.get() + y * bytesPerLine(); }
    [[nodiscard]] const uchar *scanLine(int y) const { return constScanLine(y); }
    /** Null, as QImage's, when the image is null or its own copy cannot be made. */
    [[nodiscard]] uchar *scanLine(int y)
    {
        uchar *words = bits();
        return words ? words + y * bytesPerLine() : nullptr;
    }
    [[nodiscard]] QRgb pixel(int x, int y) const;

    /** The density a file declares, kept as QImage keeps it (nothing here uses it). */
    [[nodiscard]] int dotsPerMeterX() const { return m_dotsPerMeterX; }
    [[nodiscard]] int dotsPerMeterY() const { return m_dotsPerMeterY; }
    void setDotsPerMeterX(int dots) { m_dotsPerMeterX = dots; }
    void setDotsPerMeterY(int dots) { m_dotsPerMeterY = dots; }

    void fill(uint pixel);
    /** The pixels inside `rect`; those of `rect` outside the image are 0. */
    [[nodiscard]] PlainImage copy(const QRect &rect) const;
    [[nodiscard]] PlainImage copy() const { return copy(rect()); }
    /** This image for Format_ARGB32 (the only format held), null otherwise. */
    [[nodiscard]] PlainImage convertToFormat(Format format) const;
    [[nodiscard]] PlainImage mirrored(bool horizontally, bool vertically) const;

private:
    std::shared_ptr<uchar[]> m_data;
    int m_width = 0;
    int m_height = 0;
    int m_dotsPerMeterX = 3780; // QImage's default: 96 dots an inch
    int m_dotsPerMeterY = 3780;
};

} // namespace kestrin
