#pragma once

// Opening the sprite file that `info` and `extract` read.

#include "artfile/artreader.h"

#include <QString>

namespace kestrin {

/** Opens the file at `path` ("-" is standard input; unbuffered, so a pipe
 *  or device is read no further than readArt asks) and reads it with readArt. `error` (without
 *  the path) also covers a file that cannot be opened or read. */
[[nodiscard]] bool readArtFile(const QString &path, ArtFile &art, QString &error);

} // namespace kestrin
