#pragma once

// The ".art" sprite file layout, shared by everything that writes or reads it.
//
//   offset                          size               content
//   0                               132                art header
//   132                             1024 * P           P identical palettes
//   132 + 1024 * P                  28 * S * F         frame headers, frame order
//   132 + 1024 * P + 28 * S * F     sum of w * h       index bytes, frame order
//
// P = palette count (1..4), S = stages, F = frames per stage. Frame order is
// stage 0's frames in list order, then stage 1's, and so on. Every multi-byte
// field is a 32-bit little-endian two's-complement integer; nothing is padded,
// aligned or compressed. Index rows run top to bottom, left to right.

#include <QtGlobal>

#include <cstring>

namespace kestrin::art {

// ---- art header (132 bytes at offset 0) -----------------------------------
constexpr quint32 kHeaderSize = 132;
constexpr quint32 kStaticFlagOffset = 0;     // 1 = static sprite, 0 = rotatable
constexpr quint32 kRateOffset = 4;           // frame rate; the writer stores 8 for a setting of 0
constexpr quint32 kDirectionCountOffset = 8; // always kDirectionCount
constexpr quint32 kPaletteSlotsOffset = 12;  // 4 slots of 4 bytes, see kSignature
constexpr quint32 kPaletteSlotsSize = 16;
constexpr quint32 kPaletteSlotSize = 4;
constexpr quint32 kActionFrameOffset = 28;        // hit frame; signed, may be -1
constexpr quint32 kFramesPerDirectionOffset = 32; // F (rotatable) or S * F (static)
constexpr quint32 kReservedOffset = 36;           // 96 zero bytes up to the end of the header
constexpr quint32 kReservedSize = 96;

constexpr qint32 kDirectionCount = 8; // stored in every file, static sprites included
constexpr qint32 kDefaultRate = 8;    // rate written when the frame-rate setting is 0

/** Slot k (k < P) holds characters 4k..4k+3 of this text; the remaining
 *  slots are zero, so slot k is non-zero exactly when palette k is present.
 *  16 non-zero ASCII characters, which is why P is at most 4. */
constexpr char kSignature[] = "KESTRIN-ART-PAL1";
static_assert(sizeof(kSignature) - 1 == kPaletteSlotsSize, "the signature fills the four palette slots");

// ---- palettes (P copies of 1024 bytes from offset 132) --------------------
constexpr quint32 kPaletteOffset = kHeaderSize;
constexpr quint32 kPaletteEntries = 256;
constexpr quint32 kPaletteEntrySize = 4; // blue, green, red, 0
constexpr quint32 kPaletteSize = kPaletteEntries * kPaletteEntrySize;
constexpr quint32 kMinPaletteCount = 1;
constexpr quint32 kMaxPaletteCount = kPaletteSlotsSize / kPaletteSlotSize;

// ---- frame headers (28 bytes each, after the palettes) --------------------
constexpr quint32 kFrameHeaderSize = 28;
constexpr quint32 kFrameWidthOffset = 0;    // width of the working image
constexpr quint32 kFrameHeightOffset = 4;   // height of the working image
constexpr quint32 kFrameDataSizeOffset = 8; // width * height index bytes
constexpr quint32 kFrameCenterXOffset = 12; // sourceWidth / 2 - bound left, signed
constexpr quint32 kFrameCenterYOffset = 16; // sourceHeight / 2 - bound top, signed
constexpr quint32 kFrameZero1Offset = 20;   // always 0
constexpr quint32 kFrameZero2Offset = 24;   // always 0

// ---- limits of the 32-bit fields -------------------------------------------
/** Largest number of index bytes one frame may hold (dataSize is signed). */
constexpr quint64 kMaxFrameDataSize = 0x7fffffffu;
/** Largest file the format can describe with 32-bit offsets. */
constexpr quint64 kMaxFileSize = 0xffffffffu;

constexpr quint64 frameHeadersOffset(quint64 paletteCount)
{
    return quint64(kHeaderSize) + quint64(kPaletteSize) * paletteCount;
}
constexpr quint64 indexDataOffset(quint64 paletteCount, quint64 frameCount)
{
    return frameHeadersOffset(paletteCount) + quint64(kFrameHeaderSize) * frameCount;
}
constexpr quint64 fileSize(quint64 paletteCount, quint64 frameCount, quint64 totalPixels)
{
    return indexDataOffset(paletteCount, frameCount) + totalPixels;
}

// ---- field access ------------------------------------------------------------
inline void put32le(quint8 *at, quint32 value)
{
    at[0] = quint8(value);
    at[1] = quint8(value >> 8);
    at[2] = quint8(value >> 16);
    at[3] = quint8(value >> 24);
}
inline quint32 get32le(const quint8 *at)
{
    return quint32(at[0]) | quint32(at[1]) << 8 | quint32(at[2]) << 16 | quint32(at[3]) << 24;
}

/** The art header's fields. */
struct Header {
    qint32 staticFlag = 0;
    qint32 rate = 0;
    qint32 directionCount = art::kDirectionCount;
    quint8 paletteSlots[kPaletteSlotsSize] = {};
    qint32 actionFrame = 0;
    qint32 framesPerDirection = 0;

    /** Palette slots for `paletteCount` palettes: the first 4 * P kSignature characters. */
    void setPaletteSlots(quint32 paletteCount)
    {
        std::memset(paletteSlots, 0, sizeof paletteSlots);
        std::memcpy(paletteSlots, kSignature, kPaletteSlotSize * qMin(paletteCount, kMaxPaletteCount));
    }
    /** Number of leading non-zero slots, which is the palette count of a valid file. */
    quint32 paletteCountFromSlots() const
    {
        quint32 k = 0;
        while (k < kMaxPaletteCount && get32le(paletteSlots + kPaletteSlotSize * k) != 0)
            ++k;
        return k;
    }
};

/** One frame header's fields. */
struct FrameHeader {
    qint32 width = 0;
    qint32 height = 0;
    qint32 dataSize = 0;
    qint32 centerX = 0;
    qint32 centerY = 0;
};

/** Writes `h` as the 132 bytes at `out`, reserved bytes zero. */
inline void encodeHeader(const Header &h, quint8 *out)
{
    std::memset(out, 0, kHeaderSize);
    put32le(out + kStaticFlagOffset, quint32(h.staticFlag));
    put32le(out + kRateOffset, quint32(h.rate));
    put32le(out + kDirectionCountOffset, quint32(h.directionCount));
    std::memcpy(out + kPaletteSlotsOffset, h.paletteSlots, kPaletteSlotsSize);
    put32le(out + kActionFrameOffset, quint32(h.actionFrame));
    put32le(out + kFramesPerDirectionOffset, quint32(h.framesPerDirection));
}
inline Header decodeHeader(const quint8 *in)
{
    Header h;
    h.staticFlag = qint32(get32le(in + kStaticFlagOffset));
    h.rate = qint32(get32le(in + kRateOffset));
    h.directionCount = qint32(get32le(in + kDirectionCountOffset));
    std::memcpy(h.paletteSlots, in + kPaletteSlotsOffset, kPaletteSlotsSize);
    h.actionFrame = qint32(get32le(in + kActionFrameOffset));
    h.framesPerDirection = qint32(get32le(in + kFramesPerDirectionOffset));
    return h;
}

/** Writes `f` as the 28 bytes at `out`, the two trailing fields zero. */
inline void encodeFrameHeader(const FrameHeader &f, quint8 *out)
{
    put32le(out + kFrameWidthOffset, quint32(f.width));
    put32le(out + kFrameHeightOffset, quint32(f.height));
    put32le(out + kFrameDataSizeOffset, quint32(f.dataSize));
    put32le(out + kFrameCenterXOffset, quint32(f.centerX));
    put32le(out + kFrameCenterYOffset, quint32(f.centerY));
    put32le(out + kFrameZero1Offset, 0);
    put32le(out + kFrameZero2Offset, 0);
}
inline FrameHeader decodeFrameHeader(const quint8 *in)
{
    FrameHeader f;
    f.width = qint32(get32le(in + kFrameWidthOffset));
    f.height = qint32(get32le(in + kFrameHeightOffset));
    f.dataSize = qint32(get32le(in + kFrameDataSizeOffset));
    f.centerX = qint32(get32le(in + kFrameCenterXOffset));
    f.centerY = qint32(get32le(in + kFrameCenterYOffset));
    return f;
}

/** Where a frame lies in a file: its direction (row) and its place within
 *  that direction. A static sprite keeps no direction boundaries, so its
 *  frames form one sequence in direction 0. */
struct FramePlace {
    qint64 direction = 0;
    qint64 frame = 0;
};

/** The place of frame `index` (file order) of a sprite with
 *  `framesPerDirection` frames per direction. */
constexpr FramePlace framePlace(bool rotatable, quint64 framesPerDirection, quint64 index)
{
    if (!rotatable || framesPerDirection == 0)
        return FramePlace{0, qint64(index)};
    return FramePlace{qint64(index / framesPerDirection), qint64(index % framesPerDirection)};
}

} // namespace kestrin::art
