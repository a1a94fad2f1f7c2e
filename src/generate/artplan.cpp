#include "generate/artplan.h"
#include "generate/jobfailure.h"

namespace kestrin {

namespace {

bool isArgbWordLayout(Image::Format format)
{
    return format == Image::Format_ARGB32 || format == Image::Format_RGB32
        || format == Image::Format_ARGB32_Premultiplied;
}

bool usableAsIs(const Image &image, bool straight)
{
    if (image.isNull())
        return true;
    if (straight && image.format() == Image::Format_ARGB32_Premultiplied)
        return false;
    return isArgbWordLayout(image.format());
}

} // namespace

FramePixels::FramePixels(const Image &source, bool straight)
    : image(usableAsIs(source, straight) ? source : source.convertToFormat(Image::Format_ARGB32))
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return;
    if (image.bytesPerLine() != qsizetype(image.width()) * 4) // never for 32-bit images, but keep rows contiguous
        image = image.copy();
    words = reinterpret_cast<const quint32 *>(image.constBits());
    count = quint64(image.width()) * quint64(image.height());
}

Failure checkSettings(const Project &project, const GenerationSettings &settings)
{
    Failure failure;
    if (project.stageCount == 0) {
        failure.kind = FailureKind(kestrin::JobFailure::NoStages);
    } else if (settings.rotatable == 1 && project.stageCount != quint32(art::kDirectionCount)) {
        failure.kind = FailureKind(kestrin::JobFailure::WrongStageCount);
        failure.found = project.stageCount;
    } else if (settings.paletteCount < art::kMinPaletteCount || settings.paletteCount > art::kMaxPaletteCount) {
        failure.kind = FailureKind(kestrin::JobFailure::BadPaletteCount);
        failure.found = settings.paletteCount;
    }
    return failure;
}

Failure checkFrameCounts(const Project &project)
{
    Failure failure;
    if (project.stageCount == 0)
        return failure;
    const quint32 expected = project.stages[0]->frameCount;
    for (quint32 i = 0; i < project.stageCount; ++i) {
        const quint32 found = project.stages[i]->frameCount;
        if (found != expected) {
            failure.kind = FailureKind(kestrin::JobFailure::FrameCountMismatch);
            failure.stage = i;
            failure.expected = expected;
            failure.found = found;
            break;
        }
    }
    return failure;
}

Failure planArt(const Project &project, const GenerationSettings &settings, ArtPlan *plan)
{
    ArtPlan p;
    p.paletteCount = settings.paletteCount;
    p.framesPerStage = project.stageCount ? project.stages[0]->frameCount : 0;
    const quint64 frameCount = quint64(project.stageCount) * p.framesPerStage;

    Failure failure;
    for (quint32 s = 0; s < project.stageCount && !failure; ++s) {
        const Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < p.framesPerStage && f < stage.frameCount; ++f) {
            const Frame &frame = *stage.frames[f];
            const quint64 width = quint64(qMax(0, frame.workImage.width()));
            const quint64 height = quint64(qMax(0, frame.workImage.height()));
            if (width * height > art::kMaxFrameDataSize) {
                failure.kind = FailureKind(kestrin::JobFailure::FrameTooLarge);
                failure.stage = s;
                failure.frame = f;
                failure.width = qint64(width);
                failure.height = qint64(height);
                failure.expected = qint64(art::kMaxFrameDataSize);
                break;
            }
            art::FrameHeader h;
            h.width = qint32(width);
            h.height = qint32(height);
            h.dataSize = qint32(width * height);
            // Truncating signed halves: the source's centre in working-image
            // coordinates, unless the frame fixes its own.
            const qint64 centreX = frame.centre ? frame.centre->x() : qint64(frame.sourceImage.width()) / 2;
            const qint64 centreY = frame.centre ? frame.centre->y() : qint64(frame.sourceImage.height()) / 2;
            h.centerX = qint32(centreX - frame.boundRect.left);
            h.centerY = qint32(centreY - frame.boundRect.top);
            p.frames.push_back(h);
            p.totalPixels += width * height;
        }
    }
    if (failure)
        return failure;
    p.fileSize = art::fileSize(p.paletteCount, frameCount, p.totalPixels);
    if (p.fileSize > art::kMaxFileSize) {
        failure.kind = FailureKind(kestrin::JobFailure::FileTooLarge);
        failure.found = qint64(p.fileSize);
        failure.expected = qint64(art::kMaxFileSize);
        return failure;
    }

    art::Header &h = p.header;
    h.staticFlag = settings.rotatable == 1 ? 0 : 1;
    h.rate = settings.frameRate == 0 ? art::kDefaultRate : settings.frameRate;
    h.directionCount = art::kDirectionCount;
    h.setPaletteSlots(p.paletteCount);
    h.actionFrame = settings.hitFrame == 0 ? qint32(p.framesPerStage - 1) : settings.hitFrame;
    h.framesPerDirection = qint32(settings.rotatable == 1 ? p.framesPerStage : frameCount);
    *plan = std::move(p);
    return failure;
}

} // namespace kestrin
