#include "artfile/artreference.h"

#include "quantize/indexedimage.h"

#include <cstring>

namespace kestrin {

QByteArray referenceArtFile(const Project &project, const GenerationSettings &settings)
{
    if (project.stageCount == 0 || !frameCountMismatch(project).isEmpty())
        return QByteArray();
    ArtPlan plan;
    QString error;
    if (!planArt(project, settings, &plan, &error) || plan.totalPixels > 0xffffffffu)
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

    // File image.
    QByteArray file(qsizetype(plan.fileSize), '\0');
    auto *out = reinterpret_cast<quint8 *>(file.data());
    const quint64 dataOffset = art::indexDataOffset(plan.paletteCount, plan.frames.size());
    if (image.pixelCount() > 0)
        std::memcpy(out + dataOffset, image.indices(), image.pixelCount());
    art::encodeHeader(plan.header, out);
    for (quint32 k = 0; k < plan.paletteCount; ++k)
        std::memcpy(out + art::paletteOffset + art::paletteSize * k, image.palette(), art::paletteSize);
    for (size_t i = 0; i < plan.frames.size(); ++i)
        art::encodeFrameHeader(plan.frames[i], out + art::frameHeadersOffset(plan.paletteCount) + art::frameHeaderSize * i);
    return file;
}

} // namespace kestrin
