#include "artfile/artencoder.h"

#include <cstring>

namespace kestrin::art {

QByteArray encodeHead(const Header &header, quint32 paletteCount, const quint8 *palette,
                      const std::vector<FrameHeader> &frames)
{
    QByteArray head(qsizetype(indexDataOffset(paletteCount, frames.size())), '\0');
    auto *out = reinterpret_cast<quint8 *>(head.data());
    encodeHeader(header, out);
    for (quint32 k = 0; k < paletteCount; ++k)
        std::memcpy(out + kPaletteOffset + quint64(kPaletteSize) * k, palette, kPaletteSize);
    quint8 *frameHeader = out + frameHeadersOffset(paletteCount);
    for (const FrameHeader &f : frames) {
        encodeFrameHeader(f, frameHeader);
        frameHeader += kFrameHeaderSize;
    }
    return head;
}

} // namespace kestrin::art
