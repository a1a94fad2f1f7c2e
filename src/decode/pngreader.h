#pragma once

#include "decode/frameimage.h"

#include <QByteArray>

namespace kestrin {

/** Decodes a PNG that is plain enough to need nothing of Qt's reader, and
 *  gives exactly what that reader gives (after conversion to ARGB32): 8-bit
 *  RGB or RGBA, not interlaced, with no chunks but IHDR, an optional pHYs,
 *  IDAT and IEND, in that order; every chunk's CRC right; the IDAT data one
 *  zlib stream (32 KiB window) that ends exactly where the data ends, holds
 *  exactly the image's rows and has the right checksum (libpng's zlib
 *  honours a smaller window, which the inflater here cannot check, so such
 *  streams, written for small images, are declined); width and height at
 *  most 1,000,000 (libpng's limits). Such a file decodes in about two thirds
 *  of the time, as the stream is inflated in one piece.
 *
 *  Anything else, including every file that Qt's reader would refuse or warn
 *  about, gives a null image: the caller then hands the data to Qt's reader,
 *  which decides as always. A null image also comes back when memory runs
 *  short. Safe to call from several threads at once. */
[[nodiscard]] Image decodePlainPng(const QByteArray &data);

} // namespace kestrin
