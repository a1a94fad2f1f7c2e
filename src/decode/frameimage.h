#pragma once

// The image type that holds frames' pixels in the core. The window, the
// tests and kestrin-art's info and extract commands use QImage. kestrin-art's
// build program is compiled with KESTRIN_PLAIN_IMAGES and uses PlainImage, the
// same 32-bit words without Qt GUI: loading Qt GUI and the forty libraries it
// brings takes a few milliseconds, more than a small sprite's whole build, and
// a build system runs kestrin-art once per sprite.

#ifdef KESTRIN_PLAIN_IMAGES
#include "decode/plainimage.h"

namespace kestrin {
using Image = PlainImage;
}
#else
#include <QImage>

namespace kestrin {
using Image = QImage;
}
#endif
