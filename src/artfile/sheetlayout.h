#pragma once

#include "artfile/artreader.h"

#include <QtGlobal>

#include <optional>

namespace kestrin {

/** The most pixels a sheet, or one direction's animation, may hold, and the
 *  most pixels per side of a sheet or a cell: drawing more is refused
 *  rather than allocated. */
constexpr qint64 kMaxSheetPixels = qint64(1) << 28;
constexpr qint64 kMaxSheetSide = 32767;

/** Where the frames of a sprite sit when each is drawn in a cell of one
 *  grid, a row per direction (one row for a static sprite's sequence), so
 *  that the centres recorded in the file line up: every frame sits where it
 *  sat in its untrimmed image, relative to one anchor point shared by all
 *  cells. The same cell is the canvas of an animation of a direction.
 *
 *  Only frames with pixels take part. All values are 64-bit and computed
 *  without overflow for any field values a file can hold. */
struct SheetLayout {
    qint64 anchorX = 0; // the recorded centre's place in every cell: the largest centre
    qint64 anchorY = 0;
    qint64 cellWidth = 0; // the smallest cell that holds every frame so placed
    qint64 cellHeight = 0;
    qint64 columns = 0; // frames per row
    qint64 rows = 0;    // directions (8), or 1 for a static sprite

    /** Top-left corner of frame `frame` inside its cell. */
    qint64 left(const ArtFrame &frame) const { return anchorX - frame.centerX; }
    qint64 top(const ArtFrame &frame) const { return anchorY - frame.centerY; }

    /** Row and column of frame `index` (file order). */
    qint64 row(const ArtFile &art, size_t index) const;
    qint64 column(const ArtFile &art, size_t index) const;

    /** True when a cell is within kMaxSheetSide per side and one row of
     *  cells (one direction's animation) within kMaxSheetPixels. */
    bool rowFits() const;
    /** True when the whole sheet, columns x rows cells, is within
     *  kMaxSheetSide per side and kMaxSheetPixels. */
    bool sheetFits() const;
};

/** The layout of `art`'s frames; nothing when no frame has any pixels. */
[[nodiscard]] std::optional<SheetLayout> sheetLayout(const ArtFile &art);

} // namespace kestrin
