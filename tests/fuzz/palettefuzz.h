#pragma once

// What one fuzz input does to the palette parser, shared by the libFuzzer
// target and the replay test: the first byte picks the format, the rest are
// the file's bytes; a palette that parses is read to its last entry.

#include "palettes/palettefile.h"

#include <QByteArray>

namespace kestrinfuzz {

/** Returns whether the input parsed as a palette. */
inline bool exercisePaletteParser(const QByteArray &input)
{
    if (input.isEmpty())
        return false;
    static const kestrin::PaletteFormat formats[] = {kestrin::PaletteFormat::Gimp, kestrin::PaletteFormat::Jasc,
                                                     kestrin::PaletteFormat::ColorTable, kestrin::PaletteFormat::Art};
    const kestrin::PaletteFormat format = formats[quint8(input[0]) % 4];
    kestrin::PaletteFile palette;
    if (kestrin::parsePalette(format, input.mid(1), QStringLiteral("fuzz"), &palette))
        return false;
    volatile int sink = 0;
    for (int i = 0; i < 4 * palette.count; ++i)
        sink = sink + palette.entries[i];
    return palette.count >= 1 && palette.count <= 256;
}

} // namespace kestrinfuzz
