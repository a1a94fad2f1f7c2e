#pragma once

// Frame sets more than one benchmark uses, made in code from fixed seeds.

#include "project/project.h"

#include <QImage>

#include <random>

namespace kestrinbench {

// Rendered frames: smooth gradients that move with stage and frame, plus
// per-pixel noise, so that millions of distinct colours occur.
inline void makeRendered(kestrin::Project &project, int stages, int frames, int size)
{
    std::mt19937 rng(12345);
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f) {
            QImage img(size, size, QImage::Format_ARGB32);
            for (int y = 0; y < size; ++y) {
                auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < size; ++x) {
                    const int noise = int(rng() % 343);
                    const int r = x * 3 / 4 + 8 * s + f, g = y * 3 / 4 + 3 * f, b = (x + y) / 3 + 4 * s;
                    row[x] = qRgba(qBound(0, r + noise % 7 - 3, 255), qBound(0, g + noise / 7 % 7 - 3, 255),
                                   qBound(0, b + noise / 49 - 3, 255), 255);
                }
            }
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = img;
            frame->workImage = img;
        }
    }
}

} // namespace kestrinbench
