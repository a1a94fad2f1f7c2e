#include "referenceart.h"

#include "artfile/artencoder.h"
#include "generate/artplan.h"
#include "quantize/indexedimage.h"

#include <cstring>

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

} // namespace kestrinref
