#include "generate/colorreduction.h"

#include "generate/artplan.h"
#include "generate/jobfailure.h"
#include "palettes/palettefailure.h"
#include "palettes/palettefile.h"
#include "quantize/colorhistogram.h"
#include "quantize/dither.h"
#include "quantize/nearestcolor.h"
#include "quantize/octreequantizer.h"
#include "quantize/parallelranges.h"
#include "quantize/refinedquantizer.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

namespace kestrin {

namespace {

// Error diffusion passes on only errors longer than this share (in
// sixteenths) of the distance from the chosen entry to its nearest other
// entry: inside a dense palette such errors are hardly seen, and passing
// them on lets a change anywhere in an animated frame move the indices of
// still pixels (measured: 27 % of them at 256 colours, 1 % with the rule).
constexpr int kQuietShare = 9;
// An error at least this long (RGB units) is always passed on, however
// sparse the palette: a mid grey between black and white must still mix.
constexpr int kLoudError = 16;

void putEntry(quint8 *entry, quint32 rgb)
{
    entry[0] = quint8(rgb);
    entry[1] = quint8(rgb >> 8);
    entry[2] = quint8(rgb >> 16);
    entry[3] = 0;
}

/** The pixels of every frame in frame order; premultiplied frames are made
 *  straight when `straight` is set (alpha then decides what is background). */
std::vector<FramePixels> framesOf(const Project &project, quint32 framesPerStage, bool straight)
{
    std::vector<FramePixels> frames;
    forEachFrame(project, framesPerStage, [&](const Frame &frame) { frames.emplace_back(frame.workImage, straight); });
    return frames;
}

/** mapPixels for one kind of run; `masked` is fixed per call so that the
 *  window's run keeps a loop without the background test. */
template<bool masked, typename Nearest>
void mapRun(const BackgroundRule &background, const quint32 *pixels, quint64 count, quint8 *out, Nearest &&nearest)
{
    quint32 lastRgb = 0xffffffffu;
    quint8 lastIndex = 0;
    if constexpr (!masked) {
        for (quint64 i = 0; i < count; ++i) {
            const quint32 rgb = pixels[i] & 0xffffff;
            if (rgb != lastRgb) {
                lastRgb = rgb;
                lastIndex = nearest(rgb);
            }
            out[i] = lastIndex;
        }
    } else {
        // Runs of one pixel value (a flat background above all) are decided once.
        quint32 lastPixel = count ? ~pixels[0] : 0;
        quint8 lastOut = 0;
        for (quint64 i = 0; i < count; ++i) {
            if (pixels[i] != lastPixel) {
                lastPixel = pixels[i];
                if (background.isBackground(lastPixel)) {
                    lastOut = 0;
                } else {
                    const quint32 rgb = lastPixel & 0xffffff;
                    if (rgb != lastRgb) {
                        lastRgb = rgb;
                        lastIndex = nearest(rgb);
                    }
                    lastOut = lastIndex;
                }
            }
            out[i] = lastOut;
        }
    }
}

/** An octree of at most `leaves` colours and depth 6, as every reduction
 *  starts it. */
std::unique_ptr<OctreeQuantizer> newQuantizer(quint32 leaves)
{
    auto quantizer = std::make_unique<OctreeQuantizer>(leaves, 6);
    quantizer->enableLeafCache();
    const quint32 none = 0;
    quantizer->addPixels(&none, 0, 0); // the root exists even without pixels
    return quantizer;
}

void addImage(OctreeQuantizer &quantizer, const Image &image)
{
    const FramePixels pixels(image);
    if (pixels.count)
        quantizer.addPixels(pixels.words, quint32(pixels.count), 1);
}

} // namespace

ColorOptions colorOptionsOf(const GenerationSettings &settings)
{
    ColorOptions options;
    options.background.useKey = settings.useKey;
    options.background.keyColor = settings.keyColor & 0xffffff;
    options.background.keyTolerance = settings.keyTolerance;
    options.background.alphaThreshold = settings.alphaThreshold;
    options.budget = settings.colorBudget;
    options.quantizer = settings.quantizer;
    options.dither = settings.dither;
    options.threads = resolveThreadCount(settings.threads);
    return options;
}

Failure prepareColorOptions(const GenerationSettings &settings, PaletteFile *palette, ColorOptions *options)
{
    const auto bad = [](const QString &reason) {
        return Failure::of(FailureKind(kestrin::JobFailure::BadColorSettings), QString(), reason);
    };
    if (settings.colorBudget < 2 || settings.colorBudget > 256)
        return bad(QStringLiteral("the colour budget must be 2 to 256; it is %1").arg(settings.colorBudget));
    if (settings.keyTolerance < 0 || settings.keyTolerance > 442)
        return bad(QStringLiteral("the key tolerance must be 0 to 442; it is %1").arg(settings.keyTolerance));
    if (settings.alphaThreshold < 0 || settings.alphaThreshold > 255)
        return bad(QStringLiteral("the alpha threshold must be 0 to 255; it is %1").arg(settings.alphaThreshold));
    if (settings.threads < 0)
        return bad(QStringLiteral("the thread count must not be negative; it is %1").arg(settings.threads));
    const bool fixed = !settings.paletteFile.isEmpty();
    if (fixed && (settings.colorBudget != 256 || settings.quantizer != QuantizerKind::Octree))
        return bad(QStringLiteral("a palette file cannot be combined with a colour budget or a quantizer"));
    ColorOptions made = colorOptionsOf(settings);
    if (fixed) {
        if (const Failure failure = readPaletteFile(settings.paletteFile, palette))
            return failure;
        if (made.background.enabled() && palette->count < 2) {
            Failure failure = Failure::of(FailureKind(kestrin::PaletteFailure::PaletteTooSmall), settings.paletteFile);
            failure.found = palette->count;
            failure.expected = 2;
            return failure;
        }
        made.fixed = palette;
    }
    *options = made;
    return Failure();
}

ColorFeed::ColorFeed(const GenerationSettings &settings)
{
    const ColorOptions options = colorOptionsOf(settings);
    if (!settings.paletteFile.isEmpty())
        return; // the palette is the file's
    if (options.quantizer == QuantizerKind::Refined) {
        m_histogram = std::make_unique<ColorHistogram>();
        m_background = options.background;
        return;
    }
    if (options.background.enabled())
        return; // the octree then sees the content pixels in chunks of the whole project
    m_leaves = std::clamp<quint32>(options.budget, 2, 256);
    m_quantizer = newQuantizer(m_leaves);
}

ColorFeed::~ColorFeed() = default;

void ColorFeed::add(const Frame &frame)
{
    Q_ASSERT(!m_finished);
    if (m_quantizer)
        addImage(*m_quantizer, frame.workImage);
    if (m_histogram) {
        const FramePixels pixels(frame.workImage, m_background.enabled());
        m_histogram->add(pixels.words, pixels.count, m_background);
    }
}

ColorReduction::ColorReduction(const Project &project, quint32 framesPerStage)
    : ColorReduction(project, framesPerStage, ColorOptions())
{
}

ColorReduction::ColorReduction(const Project &project, quint32 framesPerStage, const ColorOptions &options,
                               ColorFeed *fed)
    : m_options(options)
{
    m_options.fixed = nullptr; // not kept beyond construction
    m_options.threads = std::max(1, options.threads);
    const bool background = options.background.enabled();
    const quint32 budget = std::clamp<quint32>(options.budget, 2, 256);
    m_searchFirst = background ? 1 : 0;
    quint8 *made = m_searchPalette + (background ? art::kPaletteEntrySize : 0);
    if (options.fixed) {
        std::memcpy(m_searchPalette, options.fixed->entries, sizeof m_searchPalette);
        m_colorCount = quint32(options.fixed->count);
        m_searchEnd = std::max(m_searchFirst + 1, options.fixed->count);
        m_movesIndexZero = false;
    } else {
        if (options.quantizer == QuantizerKind::Refined)
            useRefined(project, framesPerStage, made, fed);
        else
            useOctree(project, framesPerStage, made, fed);
        m_searchEnd = int(budget);
        if (background) {
            putEntry(m_searchPalette, options.background.entryColor());
            ++m_colorCount; // entry 0
            m_movesIndexZero = false;
        }
    }
    if (background)
        countMadeOpaque(project, framesPerStage);
    if (!m_knownColors.empty()) {
        m_known = std::make_unique<KnownColors>(m_knownColors, m_searchPalette, m_searchFirst, m_searchEnd,
                                                m_options.threads);
        m_knownColors = std::vector<quint32>();
    }
    std::memcpy(m_palette, m_searchPalette, sizeof m_palette);
    for (int i = 0; i < 256; ++i)
        m_final[i] = quint8(i);
    measureQuietErrors();
}

// For each entry a content pixel may take, the squared length below which
// its error is not diffused, stored under the entry's final index.
void ColorReduction::measureQuietErrors()
{
    std::fill(std::begin(m_quiet), std::end(m_quiet), 0);
    if (m_options.dither != DitherKind::FloydSteinberg)
        return; // only error diffusion reads them
    const auto channel = [&](int i, int k) { return int(m_searchPalette[art::kPaletteEntrySize * i + k]); };
    for (int i = m_searchFirst; i < m_searchEnd; ++i) {
        int nearest = INT_MAX;
        for (int j = m_searchFirst; j < m_searchEnd; ++j) {
            int d = 0;
            for (int k = 0; k < 3; ++k)
                d += (channel(i, k) - channel(j, k)) * (channel(i, k) - channel(j, k));
            if (d > 0)
                nearest = std::min(nearest, d);
        }
        m_quiet[m_final[i]]
            = nearest == INT_MAX ? 0 : std::min(kLoudError * kLoudError, nearest * kQuietShare * kQuietShare / 256);
    }
}

ColorReduction::~ColorReduction() = default;

// The window's quantizer (256 colours unless a budget is set). Without a
// background every pixel goes in as it is; with one, only content pixels,
// gathered in chunks so that the tree sees them in frame order.
void ColorReduction::useOctree(const Project &project, quint32 framesPerStage, quint8 *entries, ColorFeed *fed)
{
    const BackgroundRule &background = m_options.background;
    const quint32 leaves = std::clamp<quint32>(m_options.budget, 2, 256) - (background.enabled() ? 1 : 0);
    std::unique_ptr<OctreeQuantizer> quantizer;
    if (fed && fed->feeds() && fed->m_quantizer) {
        // Made for the same settings, so for this very octree.
        Q_ASSERT(fed->finished() && fed->m_quantizer && fed->m_leaves == leaves && !background.enabled());
        quantizer = std::move(fed->m_quantizer); // the caller fed it exactly these frames
    } else if (!background.enabled()) {
        quantizer = newQuantizer(leaves);
        forEachFrame(project, framesPerStage, [&](const Frame &frame) { addImage(*quantizer, frame.workImage); });
    } else {
        quantizer = newQuantizer(leaves);
        std::vector<quint32> content;
        for (const FramePixels &pixels : framesOf(project, framesPerStage, true)) {
            for (quint64 i = 0; i < pixels.count; i += 1 << 16) {
                content.clear();
                const quint64 end = std::min(pixels.count, i + (1 << 16));
                for (quint64 k = i; k < end; ++k) {
                    if (!background.isBackground(pixels.words[k]))
                        content.push_back(pixels.words[k]);
                }
                if (!content.empty())
                    quantizer->addPixels(content.data(), quint32(content.size()), 1);
            }
        }
    }
    quantizer->getPalette(entries);
    m_colorCount = quantizer->colorCount();
}

// The histogram is built by up to a few threads over runs of whole frames
// and merged; its contents do not depend on how the frames were shared out.
void ColorReduction::useRefined(const Project &project, quint32 framesPerStage, quint8 *entries, ColorFeed *fed)
{
    const BackgroundRule &background = m_options.background;
    if (fed && fed->m_histogram) {
        // Made for the same settings, from these very frames.
        Q_ASSERT(fed->finished());
        const std::unique_ptr<ColorHistogram> histogram = std::move(fed->m_histogram);
        refineFrom(*histogram, entries);
        return;
    }
    const std::vector<FramePixels> frames = framesOf(project, framesPerStage, background.enabled());
    quint64 total = 0;
    for (const FramePixels &f : frames)
        total += f.count;
    const int workers = int(std::clamp<quint64>(total >> 19, 1, quint64(std::min(m_options.threads, 2))));
    std::vector<ColorHistogram> histograms(static_cast<size_t>(workers));
    parallelRanges(workers, frames.size(), [&](int part, quint64 begin, quint64 end) {
        for (quint64 f = begin; f < end; ++f)
            histograms[size_t(part)].add(frames[f].words, frames[f].count, background);
    });
    for (int part = 1; part < workers; ++part) {
        histograms[0].merge(histograms[size_t(part)]);
        histograms[size_t(part)] = ColorHistogram(1); // release its table
    }
    refineFrom(histograms[0], entries);
}

void ColorReduction::refineFrom(const ColorHistogram &histogram, quint8 *entries)
{
    const quint32 budget = std::clamp<quint32>(m_options.budget, 2, 256) - (m_options.background.enabled() ? 1 : 0);
    std::vector<quint32> bins;
    const RefinedPalette refined
        = refinePalette(histogram.colors(&bins), int(budget), m_options.threads, histogram.shift() == 0);
    // When every pixel colour is known, searching each once before mapping
    // is cheaper than searching them as they come, in every mapping thread's
    // own map, even when no colour comes back (65 thousand colours, one
    // pixel each: 13 ms of mapping became 0.5 ms, the searches no slower).
    // Dithering makes colours of its own, so it searches as it goes.
    if (histogram.shift() == 0 && m_options.dither == DitherKind::None)
        m_knownColors = std::move(bins);
    for (size_t i = 0; i < refined.colors.size(); ++i)
        putEntry(entries + art::kPaletteEntrySize * i, refined.colors[i]);
    m_colorCount = quint32(refined.colors.size());
}

void ColorReduction::countMadeOpaque(const Project &project, quint32 framesPerStage)
{
    for (const FramePixels &pixels : framesOf(project, framesPerStage, true)) {
        quint64 n = 0;
        for (quint64 i = 0; i < pixels.count; ++i)
            n += m_options.background.isMadeOpaque(pixels.words[i]) ? 1 : 0;
        m_madeOpaquePixels += n;
        m_madeOpaqueFrames += n ? 1 : 0;
    }
}

NearestColorMap *ColorReduction::makeSearchMap() const
{
    return new NearestColorMap(m_searchPalette, m_searchFirst, m_searchEnd);
}

void ColorReduction::fixIndexZero(const Project &project, quint32 framesPerStage)
{
    if (!m_movesIndexZero)
        return;
    bool found = false;
    quint32 first = 0;
    forEachFrame(project, framesPerStage, [&](const Frame &frame) {
        if (found)
            return;
        const FramePixels pixels(frame.workImage);
        if (pixels.count) {
            first = pixels.words[0];
            found = true;
        }
    });
    if (!found)
        return;
    const std::unique_ptr<NearestColorMap> map(makeSearchMap());
    const quint8 q = map->search(first);
    m_firstIndex = q;
    for (quint32 k = 0; k < art::kPaletteEntrySize; ++k)
        std::swap(m_palette[k], m_palette[art::kPaletteEntrySize * q + k]);
    m_final[0] = q;
    m_final[q] = 0;
    measureQuietErrors();
}

// Inlined into the mapping loops: a call per colour there costs the memo
// look-ups their overlap (measured 40 % slower mapping on millions of colours).
Q_ALWAYS_INLINE quint8 ColorReduction::nearestFinal(NearestColorMap &map, NearestColorMemo &memo, quint32 rgb) const
{
    if (m_known) {
        const int index = m_known->find(rgb);
        if (index >= 0)
            return m_final[index];
    }
    const int known = memo.find(rgb);
    if (known >= 0)
        return quint8(known);
    const quint8 index = m_final[map.search(rgb)];
    memo.store(rgb, index);
    return index;
}

void ColorReduction::mapPixels(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, quint64 count,
                               quint8 *out) const
{
    const auto nearest = [&](quint32 rgb) { return nearestFinal(map, memo, rgb); };
    if (m_options.background.enabled())
        mapRun<true>(m_options.background, pixels, count, out, nearest);
    else
        mapRun<false>(m_options.background, pixels, count, out, nearest);
}

void ColorReduction::mapFrameDithered(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, int width,
                                      int height, QPoint origin, quint8 *out, std::vector<int> &scratch) const
{
    const auto nearest = [&](quint32 rgb) { return nearestFinal(map, memo, rgb); };
    if (m_options.dither == DitherKind::Ordered)
        orderedDitherFrame(pixels, width, height, origin.x(), origin.y(), m_options.background, m_palette, nearest,
                           out);
    else
        ditherFrame(pixels, width, height, m_options.background, m_palette, nearest, out, scratch, m_quiet);
}

} // namespace kestrin
