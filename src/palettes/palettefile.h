#pragma once

#include "fileio/failure.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kestrin {

/** The palette formats a fixed palette can be read from. */
enum class PaletteFormat {
    Gimp,       // ".gpl": "GIMP Palette", optional Name:/Columns: lines, "# comments", lines "R G B [name]"
    Jasc,       // ".pal": "JASC-PAL", "0100", the entry count, then that many lines "R G B"
    ColorTable, // ".act": 256 x RGB (768 bytes), optionally + big-endian count and transparent index (772)
    Art,        // ".art": the first palette of a sprite file, all 256 entries
};

/** A palette as a file gives it: its entries in the file's order. */
struct PaletteFile {
    quint8 entries[1024] = {}; // 256 entries of blue, green, red, 0; zero from `count` on
    int count = 0;             // entries the file holds, 1..256
};

/** Text palettes longer than this are refused before they are read: even
 *  with long colour names, 256 entries take a small fraction of it. */
constexpr qint64 kMaxTextPaletteBytes = 1 << 20;

/** The format that the suffix of `path` names (case ignored), if any. */
[[nodiscard]] std::optional<PaletteFormat> paletteFormatOf(const QString &path);

/** Parses the bytes of a palette file. `path` only names the file in a
 *  failure. Each count in the bytes is checked before anything depends on
 *  it, and nothing is allocated from one.
 *
 *  Failures: PaletteLineError (text formats: the line, from 1, and what is
 *  wrong there), PaletteByteError (binary formats: the byte offset, or -1
 *  when the reason of the sprite-file reader says where), PaletteTooLarge
 *  (more than 256 entries; found = how many the file holds or announces),
 *  PaletteTooSmall (no entry at all). On failure `out` is left unchanged. */
[[nodiscard]] Failure parsePalette(PaletteFormat format, const QByteArray &bytes, const QString &path,
                                   PaletteFile *out);

/** Reads the palette file at `path` in the format its suffix names.
 *  Besides the failures of parsePalette: UnknownPaletteFormat for any other
 *  suffix, CannotReadFile (with the system's reason) for a file that cannot
 *  be opened or read, and PaletteByteError for a text palette longer than
 *  kMaxTextPaletteBytes or a colour table of the wrong length. */
[[nodiscard]] Failure readPaletteFile(const QString &path, PaletteFile *out);

} // namespace kestrin
