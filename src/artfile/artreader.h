#pragma once

#include "fileio/failure.h"

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QVector>

#include <vector>

class QIODevice;

namespace kestrin {

/** One frame header of a ".art" file, plus where its index bytes lie. */
struct ArtFrame {
    qint32 width = 0;    // columns of index bytes
    qint32 height = 0;   // rows of index bytes
    qint32 dataSize = 0; // width * height, the frame's index byte count
    qint32 centerX = 0;  // centre of the untrimmed image, in the frame's coordinates
    qint32 centerY = 0;
    qint64 dataOffset = 0; // offset of the frame's first index byte in the file
};

/** A ".art" file that has passed every layout check of readArt. */
struct ArtFile {
    quint32 staticFlag = 1;         // 1 static sprite, 0 rotatable
    qint32 rate = 0;                // frame rate as written
    quint32 directionCount = 0;     // always 8
    QByteArray signature;           // the 4 * paletteCount characters of the non-zero slots
    qint32 hitFrame = 0;            // as written in the header's actionFrame (may be negative)
    quint32 framesPerDirection = 0; // frames of one direction (rotatable) or of the whole sequence (static)
    quint32 paletteCount = 0;       // identical palette copies, 1 to 4
    QByteArray palette;             // the first palette: 256 entries of blue, green, red, 0
    std::vector<ArtFrame> frames;   // in file order: direction by direction for a rotatable sprite
    QByteArray bytes;               // the whole file; frame i's indices start at frames[i].dataOffset

    bool isRotatable() const { return staticFlag == 0; }
    /** Rows of a sheet: 8 directions for a rotatable sprite, one sequence for a static one. */
    quint32 rowCount() const { return isRotatable() ? 8 : 1; }
    /** Entries in use: one past the last palette entry that is not all zero.
     *  Unused entries are written as zero, so this is the quantizer's colour
     *  count unless its last colours were pure black. */
    int colorCount() const;
    /** Palette entry `index` as an opaque QRgb. */
    QRgb color(quint8 index) const;
    /** The whole palette, 256 opaque colours; with `transparentZero`,
     *  entry 0 is fully transparent (its colour kept). */
    QVector<QRgb> colorTable(bool transparentZero) const;
    /** The index bytes of frame `index`: width * height, rows top to bottom. */
    const quint8 *frameIndices(int index) const;
};

/** Parses and validates a whole ".art" file held in `bytes`.
 *
 *  Checks, in file order and all in 64-bit arithmetic: a complete 132-byte
 *  header; the sprite-type flag 0 or 1; the direction count 8; the palette
 *  slots (slots 0 to P-1 non-zero, the rest zero, 1 <= P <= 4); P complete,
 *  identical palettes; a complete header for every frame (framesPerDirection
 *  frames for a static sprite, 8 * framesPerDirection for a rotatable one);
 *  non-negative sizes with dataSize == width * height; and the index data
 *  ending exactly at the end of the file. Nothing is allocated from a count
 *  in the file before that count has been checked against the file length.
 *
 *  On success `art` holds the file and no failure is returned. Otherwise the
 *  failure is MalformedFile, its reason says what is wrong and where, its
 *  path is empty (the caller knows the file), and `art` is left unchanged. */
[[nodiscard]] Failure parseArt(const QByteArray &bytes, ArtFile &art);

/** Reads a ".art" file from the current position of `device` with the
 *  checks of parseArt, validating as it reads: the header first, then only
 *  the bytes the headers declare, plus one byte to notice trailing data. So
 *  an endless or enormous input fails as soon as its headers do, in little
 *  memory, and a pipe works like a file.
 *
 *  A random-access device (a file) is measured first, so a file shorter or
 *  longer than its headers declare is refused before its data is read. A
 *  sequential device (a pipe, a FIFO, a character device) is read in pieces
 *  until the declared end; declared sizes beyond 4294967295 bytes, more than
 *  the format can hold, are refused without reading. Failures as for
 *  parseArt, plus CannotReadFile with the device's errorString() when a
 *  read fails or the device is not open for reading; on a
 *  sequential device, bytes after the last frame are reported without a
 *  count, since only one of them is read. */
[[nodiscard]] Failure readArt(QIODevice &device, ArtFile &art);

} // namespace kestrin
