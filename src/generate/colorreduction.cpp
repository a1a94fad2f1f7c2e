#include "generate/colorreduction.h"

#include "generate/artplan.h"
#include "quantize/nearestcolor.h"
#include "quantize/octreequantizer.h"

#include <cstring>
#include <utility>

namespace kestrin {

namespace {

/** The quantizer every reduction starts from: 256 colours, depth 6. */
std::unique_ptr<OctreeQuantizer> newQuantizer()
{
    auto quantizer = std::make_unique<OctreeQuantizer>(256, 6);
    quantizer->enableLeafCache();
    const quint32 none = 0;
    quantizer->addPixels(&none, 0, 0); // the root exists even without pixels
    return quantizer;
}

void addImage(OctreeQuantizer &quantizer, const QImage &image)
{
    const FramePixels pixels(image);
    if (pixels.count)
        quantizer.addPixels(pixels.words, quint32(pixels.count), 1);
}

/** True when `keys` are the images that forEachFrame visits, in its order. */
bool sameImages(const std::vector<qint64> &keys, const Project &project, quint32 framesPerStage)
{
    size_t k = 0;
    bool same = true;
    forEachFrame(project, framesPerStage, [&](const Frame &frame) {
        same = same && k < keys.size() && keys[k] == frame.workImage.cacheKey();
        ++k;
    });
    return same && k == keys.size();
}

} // namespace

ColorFeed::ColorFeed()
    : quantizer(newQuantizer())
{
}

ColorFeed::~ColorFeed() = default;

void ColorFeed::add(const Frame &frame)
{
    if (!quantizer)
        return;
    addImage(*quantizer, frame.workImage);
    // The key changes whenever the image's pixels may have changed.
    imageKeys.push_back(frame.workImage.cacheKey());
}

ColorReduction::ColorReduction(const Project &project, quint32 framesPerStage, ColorFeed *fed)
{
    std::unique_ptr<OctreeQuantizer> quantizer;
    if (fed && fed->quantizer && sameImages(fed->imageKeys, project, framesPerStage)) {
        quantizer = std::move(fed->quantizer);
    } else {
        quantizer = newQuantizer();
        forEachFrame(project, framesPerStage, [&](const Frame &frame) { addImage(*quantizer, frame.workImage); });
    }
    quantizer->getPalette(m_searchPalette);
    m_colorCount = quantizer->colorCount();
    std::memcpy(m_palette, m_searchPalette, sizeof m_palette);
    for (int i = 0; i < 256; ++i)
        m_final[i] = quint8(i);
}

ColorReduction::~ColorReduction() = default;

void ColorReduction::fixIndexZero(const Project &project, quint32 framesPerStage)
{
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
    NearestColorMap map(m_searchPalette);
    const quint8 q = map.search(first);
    m_firstIndex = q;
    for (quint32 k = 0; k < art::paletteEntrySize; ++k)
        std::swap(m_palette[k], m_palette[art::paletteEntrySize * q + k]);
    m_final[0] = q;
    m_final[q] = 0;
}

void ColorReduction::mapPixels(NearestColorMap &map, NearestColorMemo &memo, const quint32 *pixels, quint64 count,
                               quint8 *out) const
{
    quint32 lastRgb = 0xffffffffu;
    quint8 lastIndex = 0;
    for (quint64 i = 0; i < count; ++i) {
        const quint32 rgb = pixels[i] & 0xffffff;
        if (rgb != lastRgb) {
            lastRgb = rgb;
            const int known = memo.find(rgb);
            if (known >= 0) {
                lastIndex = quint8(known);
            } else {
                lastIndex = m_final[map.search(rgb)];
                memo.store(rgb, lastIndex);
            }
        }
        out[i] = lastIndex;
    }
}

} // namespace kestrin
