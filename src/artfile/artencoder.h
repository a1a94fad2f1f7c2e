#pragma once

#include "artfile/artformat.h"

#include <QByteArray>

#include <vector>

namespace kestrin::art {

/** Everything a file holds before its index bytes: the header, `paletteCount`
 *  copies of the 1024-byte `palette` (256 entries of blue, green, red, 0) and
 *  one frame header per frame, in frame order. Whoever writes the index bytes
 *  appends them right after. */
[[nodiscard]] QByteArray encodeHead(const Header &header, quint32 paletteCount, const quint8 *palette,
                                    const std::vector<FrameHeader> &frames);

} // namespace kestrin::art
