#include "referenceart.h"

#include "artfile/artencoder.h"
#include "generate/artplan.h"
#include "indexedimage.h"
#include "quantize/octreequantizer.h"

#include <cstring>
#include <unordered_map>

namespace kestrinref {

using namespace kestrin;

QByteArray referenceArtFile(const Project &project, const GenerationSettings &settings)
{
    ArtPlan plan;
    if (checkSettings(project, settings) || checkFrameCounts(project) || planArt(project, settings, &plan)
        || plan.totalPixels > 0xffffffffu)
        return QByteArray();

    // Combined buffer of every frame's pixels, in frame order.
    std::vector<quint32> combined;
    combined.reserve(plan.totalPixels);
    forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) {
        const FramePixels pixels(frame.workImage);
        combined.insert(combined.end(), pixels.words, pixels.words + pixels.count);
    });

    IndexedImage image;
    image.build(combined.data(), quint32(combined.size()), 1);
    combined = std::vector<quint32>();

    // Index-0 fix.
    if (image.pixelCount() > 0) {
        const quint8 q = image.indices()[0];
        for (int k = 0; k < 4; ++k)
            std::swap(image.palette()[k], image.palette()[4 * q + k]);
        for (quint64 i = 0; i < image.pixelCount(); ++i) {
            quint8 &index = image.indices()[i];
            if (index == q)
                index = 0;
            else if (index == 0)
                index = q;
        }
    }

    QByteArray file = art::encodeHead(plan.header, plan.paletteCount, image.palette(), plan.frames);
    file.append(reinterpret_cast<const char *>(image.indices()), qsizetype(image.pixelCount()));
    return file;
}

QByteArray referenceArtFile(const Project &project, const GenerationSettings &settings, const quint8 *fixed,
                            int fixedEntries)
{
    ArtPlan plan;
    if (checkSettings(project, settings) || checkFrameCounts(project) || planArt(project, settings, &plan))
        return QByteArray();
    const bool background = settings.backgroundMode();
    const auto isBackground = [&](quint32 p) {
        if (int(p >> 24) < settings.alphaThreshold)
            return true;
        if (!settings.useKey)
            return false;
        const int db = int(p & 0xff) - int(settings.keyColor & 0xff);
        const int dg = int((p >> 8) & 0xff) - int((settings.keyColor >> 8) & 0xff);
        const int dr = int((p >> 16) & 0xff) - int((settings.keyColor >> 16) & 0xff);
        return db * db + dg * dg + dr * dr <= settings.keyTolerance * settings.keyTolerance;
    };
    std::vector<quint32> all, content;
    forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) {
        const FramePixels pixels(frame.workImage);
        for (quint64 i = 0; i < pixels.count; ++i) {
            all.push_back(pixels.words[i]);
            if (!isBackground(pixels.words[i]))
                content.push_back(pixels.words[i]);
        }
    });

    quint8 palette[1024] = {};
    int first = background ? 1 : 0, end = 0;
    if (fixed) {
        std::memcpy(palette, fixed, 1024);
        end = fixedEntries;
    } else {
        OctreeQuantizer quantizer(settings.colorBudget - (background ? 1 : 0), 6);
        quantizer.addPixels(content.data(), quint32(content.size()), 1);
        quantizer.getPalette(palette + 4 * first);
        end = int(settings.colorBudget);
        if (background) {
            palette[0] = quint8(settings.useKey ? settings.keyColor : 0);
            palette[1] = quint8(settings.useKey ? settings.keyColor >> 8 : 0);
            palette[2] = quint8(settings.useKey ? settings.keyColor >> 16 : 0);
        }
    }
    // The search reads only the colour: each distinct one is searched once.
    std::unordered_map<quint32, quint8> searched;
    const auto nearest = [&](quint32 pixel) {
        const quint32 colour = pixel & 0xffffffu;
        auto found = searched.find(colour);
        if (found == searched.end())
            found = searched.emplace(colour, nearestEntryInRange(palette, first, end, colour)).first;
        return found->second;
    };
    std::vector<quint8> indices(all.size());
    for (size_t i = 0; i < all.size(); ++i)
        indices[i] = isBackground(all[i]) ? 0 : nearest(all[i]);
    if (!fixed && !background && !indices.empty()) {
        const quint8 q = indices[0];
        for (int k = 0; k < 4; ++k)
            std::swap(palette[k], palette[4 * q + k]);
        for (quint8 &index : indices)
            index = index == q ? 0 : index == 0 ? q : index;
    }
    QByteArray file = art::encodeHead(plan.header, plan.paletteCount, palette, plan.frames);
    file.append(reinterpret_cast<const char *>(indices.data()), qsizetype(indices.size()));
    return file;
}

} // namespace kestrinref
