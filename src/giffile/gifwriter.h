#pragma once

#include "fileio/failure.h"

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QVector>

#include <vector>

namespace kestrin {

/** An animation of palette indices, written as one GIF (89a, through
 *  giflib) that loops forever. Every frame covers the whole canvas. */
struct GifAnimation {
    int width = 0; // canvas, 1..65535 pixels
    int height = 0;
    QVector<QRgb> palette;          // 1..256 colours, the global colour table (alpha ignored)
    int delay = 0;                  // between frames, in hundredths of a second, 0..65535
    int transparentIndex = -1;      // palette index drawn transparent, or -1 for none
    std::vector<QByteArray> frames; // width * height indices each, rows top to bottom
};

/** Hundredths of a second per frame at `framesPerSecond` (at least 1),
 *  rounded to the nearest, halves up (8 frames per second give 13), and
 *  at least 2: most viewers play a delay of 0 or 1 as a slow 10. */
[[nodiscard]] int gifDelay(int framesPerSecond);

/** Encodes `animation` into `gif`: the logical screen with the palette as
 *  its global colour table (background index 0), the looping extension
 *  (NETSCAPE2.0, count 0), then per frame a graphic control extension
 *  (the delay, the transparent index if any, and disposal "restore to
 *  background", so a pixel left transparent by one frame never shows the
 *  frame before) and the image at (0, 0). Fails with CannotWriteFile (no
 *  path) and giflib's reason, or what is wrong with the animation. */
[[nodiscard]] Failure encodeGif(const GifAnimation &animation, QByteArray *gif);

/** Encodes `animation` and writes it to `path` through saveFile: checked to
 *  the end and put in place only when complete. The failure names `path`. */
[[nodiscard]] Failure saveGif(const QString &path, const GifAnimation &animation);

} // namespace kestrin
