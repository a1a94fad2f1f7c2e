#pragma once

#include "artfile/artreader.h"

#include <QJsonObject>
#include <QString>

namespace kestrin::cli {

/** Everything a sprite file holds besides its index bytes, as JSON: the
 *  header fields, the palette (every entry up to the last that is not black
 *  or that a frame uses), how many entries the frames use (colorCount), and
 *  every frame's place, size and centre.
 *  `info --json` prints it; `extract --indexed` writes it beside the frames. */
[[nodiscard]] QJsonObject artJson(const QString &path, const ArtFile &art);

/** The signature slots as printable text; other bytes as \xNN. */
[[nodiscard]] QString printableSignature(const QByteArray &bytes);

/** The index bytes of all frames together. */
[[nodiscard]] qint64 pixelCount(const ArtFile &art);

/** The palette entries that some frame's pixels use: `used[i]` for entry i,
 *  and how many there are. */
struct UsedColors {
    bool used[256] = {};
    int count = 0;
    int end = 0; // one past the highest entry used; 0 when no frame has pixels
};
[[nodiscard]] UsedColors usedColors(const ArtFile &art);

/** "static" or "rotatable". */
[[nodiscard]] QString typeName(const ArtFile &art);

} // namespace kestrin::cli
