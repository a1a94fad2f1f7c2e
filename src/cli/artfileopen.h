#pragma once

// Opening the sprite file that `info` and `extract` read.

#include "artfile/artreader.h"

#include <QString>

namespace kestrin {

/** Opens the file at `path` ("-" is standard input; unbuffered, so a pipe
 *  or device is read no further than readArt asks) and reads it with
 *  readArt. A file that cannot be opened is CannotReadFile with the
 *  system's reason; the failure's path is `path`, its reason never names it. */
[[nodiscard]] Failure readArtFile(const QString &path, ArtFile &art);

} // namespace kestrin
