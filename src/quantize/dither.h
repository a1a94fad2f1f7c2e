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
 *  `pixels` and `out` hold width x height entries, rows contiguous;
 *  `palette` has 4 bytes (blue, green, red, 0) per entry; `scratch` is
 *  reused between calls. */
template<typename Nearest>
void ditherFrame(const quint32 *pixels, int width, int height, const BackgroundRule &background, const quint8 *palette,
                 Nearest &&nearest, quint8 *out, std::vector<int> &scratch)
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
            const bool ahead = content(row, x + step);
            const bool under[3] = {content(next, x - step), content(next, x), content(next, x + step)};
            for (int k = 0; k < 3; ++k) {
                const int error = wanted[k] - int(entry[k]);
                if (ahead)
                    here[3 * (x + step + 1) + k] += 7 * error;
                if (under[0])
                    below[3 * (x - step + 1) + k] += 3 * error;
                if (under[1])
                    below[3 * (x + 1) + k] += 5 * error;
                if (under[2])
                    below[3 * (x + step + 1) + k] += error;
            }
        }
        std::swap(here, below);
    }
}

} // namespace kestrin
