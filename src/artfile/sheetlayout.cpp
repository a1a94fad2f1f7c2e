#include "artfile/sheetlayout.h"

#include "artfile/artformat.h"

#include <algorithm>

namespace kestrin {

qint64 SheetLayout::row(const ArtFile &art, size_t index) const
{
    return art::framePlace(art.isRotatable(), art.framesPerDirection, index).direction;
}

qint64 SheetLayout::column(const ArtFile &art, size_t index) const
{
    return art::framePlace(art.isRotatable(), art.framesPerDirection, index).frame;
}

bool SheetLayout::rowFits() const
{
    // Each factor is bounded before it is multiplied, so nothing overflows:
    // centres and sizes are 32-bit, so cells are below 2^33 per side.
    return cellWidth <= kMaxSheetSide && cellHeight <= kMaxSheetSide && columns <= kMaxSheetPixels
        && cellWidth * cellHeight * columns <= kMaxSheetPixels;
}

bool SheetLayout::sheetFits() const
{
    return rowFits() && cellWidth * columns <= kMaxSheetSide && cellHeight * rows <= kMaxSheetSide
        && cellWidth * columns * cellHeight * rows <= kMaxSheetPixels;
}

std::optional<SheetLayout> sheetLayout(const ArtFile &art)
{
    SheetLayout layout;
    bool any = false;
    for (const ArtFrame &f : art.frames) {
        if (f.dataSize == 0)
            continue;
        layout.anchorX = any ? std::max<qint64>(layout.anchorX, f.centerX) : f.centerX;
        layout.anchorY = any ? std::max<qint64>(layout.anchorY, f.centerY) : f.centerY;
        any = true;
    }
    if (!any)
        return std::nullopt;
    for (const ArtFrame &f : art.frames) {
        if (f.dataSize == 0)
            continue;
        layout.cellWidth = std::max(layout.cellWidth, layout.left(f) + f.width);
        layout.cellHeight = std::max(layout.cellHeight, layout.top(f) + f.height);
    }
    layout.columns = art.isRotatable() ? qint64(art.framesPerDirection) : qint64(art.frames.size());
    layout.rows = art.rowCount();
    return layout;
}

} // namespace kestrin
