#pragma once

// What one fuzz input does to the reader, shared by the libFuzzer target and
// the replay test: parse it, and for a file that passes, read every field
// and draw every frame, so that any offset the parser let through is used.

#include "artfile/artreader.h"
#include "cli/artimage.h"

#include <QByteArray>

namespace kestrinfuzz {

/** Returns whether `bytes` parsed as a valid file. */
inline bool exerciseArtReader(const QByteArray &bytes)
{
    kestrin::ArtFile art;
    if (kestrin::parseArt(bytes, art))
        return false;
    // A volatile sink keeps the compiler from dropping the reads.
    volatile quint64 sink = quint64(art.colorCount());
    for (size_t i = 0; i < art.frames.size(); ++i) {
        const QImage image = kestrin::frameImage(art, int(i), (i & 1) != 0);
        if (!image.isNull())
            sink = sink + image.pixel(image.width() - 1, image.height() - 1);
    }
    return true;
}

} // namespace kestrinfuzz
