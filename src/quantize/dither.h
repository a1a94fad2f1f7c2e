#pragma once

#include "quantize/backgroundrule.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace kestrin {

/** Floyd-Steinberg error diffusion over one frame, in serpentine order.
 *
 *  Rows run top to bottom, even rows left to right and odd rows right to
 *  left. Each content pixel's colour plus the error that reached it (rounded
 *  to whole values, each channel clamped to 0..255) is mapped by
 *  `nearest(rgb)` to an index into `palette`, and the difference between
 *  that colour and the entry's colour goes on: 7/16 to the next pixel of the
 *  row, 3/16, 5/16 and 1/16 to the three pixels below (behind, under,
 *  ahead). Background pixels get index 0; they give no error and take none
 *  (what would go to them is dropped), and nothing crosses the frame's
 *  edges, so frames are independent of each other. Errors are kept in
 *  sixteenths as integers: the same input gives the same bytes anywhere.
 *
 *  With `quiet`, an error at entry i whose squared length (over the three
 *  channels) is below quiet[i] is dropped instead of passed on: where the
 *  palette holds a colour closely no error leaves it, so a change elsewhere
 *  in an animated frame does not ripple through the still parts of it.
 *  Without it every error is passed on.
 *
 *  `pixels` and `out` hold width x height entries, rows contiguous;
 *  `palette` has 4 bytes (blue, green, red, 0) per entry; `scratch` is
 *  reused between calls. */
template<typename Nearest>
void ditherFrame(const quint32 *pixels, int width, int height, const BackgroundRule &background, const quint8 *palette,
                 Nearest &&nearest, quint8 *out, std::vector<int> &scratch, const int *quiet = nullptr)
{
    if (width <= 0 || height <= 0)
        return;
    // Two rows of errors (this row, the next), 3 channels per pixel, with a
    // spare pixel on each side so that the edges need no test.
    const size_t stride = 3 * (size_t(width) + 2);
    scratch.assign(2 * stride, 0);
    int *here = scratch.data();
    int *below = scratch.data() + stride;
    const bool masked = background.enabled();
    for (int y = 0; y < height; ++y) {
        const quint32 *row = pixels + size_t(y) * size_t(width);
        const quint32 *next = y + 1 < height ? row + width : nullptr;
        quint8 *outRow = out + size_t(y) * size_t(width);
        const int step = y % 2 ? -1 : 1;
        const auto content = [&](const quint32 *r, int x) {
            return r && x >= 0 && x < width && !(masked && background.isBackground(r[x]));
        };
        std::fill(below, below + stride, 0);
        for (int i = 0; i < width; ++i) {
            const int x = step > 0 ? i : width - 1 - i;
            const quint32 pixel = row[x];
            if (masked && background.isBackground(pixel)) {
                outRow[x] = 0;
                continue;
            }
            int *e = here + 3 * (x + 1);
            int wanted[3];
            quint32 rgb = 0;
            for (int k = 0; k < 3; ++k) {
                const int value = int((pixel >> (8 * k)) & 0xff) + ((e[k] + 8) >> 4);
                wanted[k] = std::clamp(value, 0, 255);
                rgb |= quint32(wanted[k]) << (8 * k);
            }
            const quint8 index = nearest(rgb);
            outRow[x] = index;
            const quint8 *entry = palette + 4 * index;
            int error[3];
            for (int k = 0; k < 3; ++k)
                error[k] = wanted[k] - int(entry[k]);
            if (quiet && error[0] * error[0] + error[1] * error[1] + error[2] * error[2] < quiet[index])
                continue;
            const bool ahead = content(row, x + step);
            const bool under[3] = {content(next, x - step), content(next, x), content(next, x + step)};
            for (int k = 0; k < 3; ++k) {
                if (ahead)
                    here[3 * (x + step + 1) + k] += 7 * error[k];
                if (under[0])
                    below[3 * (x - step + 1) + k] += 3 * error[k];
                if (under[1])
                    below[3 * (x + 1) + k] += 5 * error[k];
                if (under[2])
                    below[3 * (x + step + 1) + k] += error[k];
            }
        }
        std::swap(here, below);
    }
}

/** The 8 x 8 ordered-dither (Bayer) level of a position: 0..63, each level
 *  once in every 8 x 8 block, neighbouring levels far apart. */
inline int bayerLevel(int x, int y)
{
    static constexpr quint8 kLevels[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
        {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
    };
    return kLevels[y & 7][x & 7];
}

/** Ordered dithering of one frame: each content pixel gets an index that
 *  depends only on its colour and its position, so a pixel that keeps its
 *  place and colour from one frame to the next keeps its index.
 *
 *  For a colour c with nearest entry p0 (`nearest(c)`), the entry on the
 *  other side is p1 = nearest(2c - p0) (each channel clamped to 0..255).
 *  With a = the share of the way from p0 to p1 at which c projects onto
 *  the line between them, the pixel takes p1 when a exceeds the threshold
 *  of its position, (65 + 2 * level) / 256 for the Bayer level: a mix only
 *  where c lies between a quarter and three quarters of the way, and the
 *  nearest entry elsewhere (so flat areas stay flat and the error stays
 *  close to that of no dithering). The level is taken at (originX + x,
 *  originY + y), the pixel's place in the untrimmed frame, so trimming does
 *  not move the pattern. Background pixels get index 0 and are never mixed.
 *  All arithmetic is on integers.
 *
 *  `pixels` and `out` hold width x height entries, rows contiguous;
 *  `palette` has 4 bytes (blue, green, red, 0) per entry. */
template<typename Nearest>
void orderedDitherFrame(const quint32 *pixels, int width, int height, int originX, int originY,
                        const BackgroundRule &background, const quint8 *palette, Nearest &&nearest, quint8 *out)
{
    const bool masked = background.enabled();
    // The last colour's two entries and its share: runs of one colour are common.
    quint32 lastRgb = 0xffffffffu;
    quint8 near = 0, far = 0;
    qint64 along = 0, span = 0; // a = along / span; span 0 means no mix
    for (int y = 0; y < height; ++y) {
        const quint32 *row = pixels + size_t(y) * size_t(width);
        quint8 *outRow = out + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const quint32 pixel = row[x];
            if (masked && background.isBackground(pixel)) {
                outRow[x] = 0;
                continue;
            }
            const quint32 rgb = pixel & 0xffffff;
            if (rgb != lastRgb) {
                lastRgb = rgb;
                near = nearest(rgb);
                const quint8 *p0 = palette + 4 * near;
                quint32 mirrored = 0;
                for (int k = 0; k < 3; ++k) {
                    const int c = int((rgb >> (8 * k)) & 0xff);
                    mirrored |= quint32(std::clamp(2 * c - int(p0[k]), 0, 255)) << (8 * k);
                }
                far = nearest(mirrored);
                along = span = 0;
                if (far != near) {
                    const quint8 *p1 = palette + 4 * far;
                    for (int k = 0; k < 3; ++k) {
                        const int c = int((rgb >> (8 * k)) & 0xff), d = int(p1[k]) - int(p0[k]);
                        along += qint64(c - int(p0[k])) * d;
                        span += qint64(d) * d;
                    }
                }
            }
            const int level = bayerLevel(originX + x, originY + y);
            outRow[x] = span > 0 && 256 * along > qint64(65 + 2 * level) * span ? far : near;
        }
    }
}

} // namespace kestrin
