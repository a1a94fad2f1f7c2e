#pragma once

#include "quantize/colorhistogram.h"

#include <QtGlobal>

#include <vector>

namespace kestrin {

/** What the refined quantizer made. */
struct RefinedPalette {
    std::vector<quint32> colors; // 0x00RRGGBB, distinct, ordered by brightness (then by value)
    int iterations = 0;          // k-means rounds run after the split
};

/** How the k-means rounds find each colour's nearest mean. Both give the
 *  same palette; Plain exists so that tests can hold the other to it. */
enum class MeansSearch {
    Bounded, // distance bounds and a nearest-first search skip most means
    Plain,   // every colour tries every mean in every round
};

/** A palette of at most `maxColors` entries that keeps the squared RGB error
 *  of `colors` (weighted by their counts) small.
 *
 *  When there are no more weighted colours than maxColors and each is a
 *  single colour (histogram shift 0), the palette is exactly those colours.
 *  Otherwise:
 *  1. Variance split: starting from one box holding every colour, the box
 *     whose best cut (one plane across red, green or blue) lowers the summed
 *     squared error the most is cut there, until there are maxColors boxes
 *     or no box can be cut. The boxes' means start the next step.
 *  2. Weighted k-means (Lloyd's rounds): each colour goes to its nearest
 *     mean, each mean becomes the weighted mean of its colours; a mean left
 *     without colours restarts at the colour that is worst served. Distance
 *     bounds skip the colours whose mean cannot change, and a search tries
 *     the other means nearest to the current one first, stopping when the
 *     triangle inequality rules out the rest; neither changes the result.
 *     The rounds stop when no colour changes its mean, when the means
 *     rounded to whole channel values no longer change, when a round lowers
 *     the error by less than 0.01 %, or after `maxIterations`.
 *  3. The entries are the means rounded to whole values (halves up);
 *     entries that round to the same colour are kept once.
 *
 *  The colours are split among `threads` threads during the rounds; the
 *  means' sums are exact integers, each colour's choice depends only on
 *  itself and the means, and the error is summed over fixed chunks in a
 *  fixed order, so the palette is the same for any thread count.
 *
 *  `exactColors` says that every entry of `colors` is one colour (a
 *  histogram of shift 0), so that colours that fit are kept as they are. */
[[nodiscard]] RefinedPalette refinePalette(const std::vector<WeightedColor> &colors, int maxColors, int threads,
                                           bool exactColors, int maxIterations = 64,
                                           MeansSearch search = MeansSearch::Bounded);

/** Squared RGB error of `colors` (each at its mean) against their nearest
 *  entries of `palette` (0x00RRGGBB), weighted by count. For tests and the
 *  benchmark. */
[[nodiscard]] double weightedSquaredError(const std::vector<WeightedColor> &colors,
                                          const std::vector<quint32> &palette);

} // namespace kestrin
