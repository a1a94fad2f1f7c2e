#include "artfile/artwriter.h"

#include "quantize/nearestcolor.h"
#include "quantize/octreequantizer.h"

#include <QIODevice>
#include <QSaveFile>

#include <thread>

namespace kestrin {

namespace {

const QString abortingText = QStringLiteral("\n\nAborting generation...");

bool isArgbWordLayout(QImage::Format format)
{
    return format == QImage::Format_ARGB32 || format == QImage::Format_RGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

FramePixels::FramePixels(const QImage &source)
    : image(isArgbWordLayout(source.format()) || source.isNull() ? source
                                                                 : source.convertToFormat(QImage::Format_ARGB32))
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return;
    if (image.bytesPerLine() != qsizetype(image.width()) * 4) // never for 32-bit images, but keep rows contiguous
        image = image.copy();
    words = reinterpret_cast<const quint32 *>(image.constBits());
    count = quint64(image.width()) * quint64(image.height());
}

QString frameCountMismatch(const Project &project)
{
    if (project.stageCount == 0)
        return QString();
    const quint32 expected = project.stages[0]->frameCount;
    for (quint32 i = 0; i < project.stageCount; ++i) {
        const quint32 found = project.stages[i]->frameCount;
        if (found != expected) {
            return QStringLiteral("Number of frames differ in stage %1:\n-Expected %2 frames.\n-Found %3 frames.")
                       .arg(i)
                       .arg(expected)
                       .arg(found)
                + abortingText;
        }
    }
    return QString();
}

QString paletteCountProblem(quint32 paletteCount)
{
    if (paletteCount >= art::minPaletteCount && paletteCount <= art::maxPaletteCount)
        return QString();
    return QStringLiteral("The palette count must be between %1 and %2; it is %3.")
               .arg(art::minPaletteCount)
               .arg(art::maxPaletteCount)
               .arg(paletteCount)
        + abortingText;
}

bool planArt(const Project &project, const GenerationSettings &settings, ArtPlan *plan, QString *error)
{
    ArtPlan p;
    p.paletteCount = settings.paletteCount;
    p.framesPerStage = project.stageCount ? project.stages[0]->frameCount : 0;
    const quint64 frameCount = quint64(project.stageCount) * p.framesPerStage;

    for (quint32 s = 0; s < project.stageCount; ++s) {
        const Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < p.framesPerStage && f < stage.frameCount; ++f) {
            const Frame &frame = *stage.frames[f];
            const quint64 width = quint64(qMax(0, frame.workImage.width()));
            const quint64 height = quint64(qMax(0, frame.workImage.height()));
            if (width * height > art::maxFrameDataSize) {
                *error = QStringLiteral("Frame %1 of stage %2 is too large for Art: %3 x %4 pixels (at most %5 per frame).")
                             .arg(f)
                             .arg(s)
                             .arg(width)
                             .arg(height)
                             .arg(art::maxFrameDataSize)
                    + abortingText;
                return false;
            }
            art::FrameHeader h;
            h.width = qint32(width);
            h.height = qint32(height);
            h.dataSize = qint32(width * height);
            // Truncating signed halves: the source's centre in working-image coordinates.
            h.centerX = qint32(qint64(frame.sourceImage.width()) / 2 - frame.boundRect.left);
            h.centerY = qint32(qint64(frame.sourceImage.height()) / 2 - frame.boundRect.top);
            p.frames.push_back(h);
            p.totalPixels += width * height;
        }
    }
    p.fileSize = art::fileSize(p.paletteCount, frameCount, p.totalPixels);
    if (p.fileSize > art::maxFileSize) {
        *error = QStringLiteral("The Art file would be too large: %1 bytes (at most %2).")
                     .arg(p.fileSize)
                     .arg(art::maxFileSize)
            + abortingText;
        return false;
    }

    art::Header &h = p.header;
    h.staticFlag = settings.rotatable == 1 ? 0 : 1;
    h.rate = settings.frameRate == 0 ? art::defaultRate : settings.frameRate;
    h.directionCount = art::directionCount;
    h.setPaletteSlots(p.paletteCount);
    h.actionFrame = settings.hitFrame == 0 ? qint32(p.framesPerStage - 1) : settings.hitFrame;
    h.framesPerDirection = qint32(settings.rotatable == 1 ? p.framesPerStage : frameCount);
    *plan = std::move(p);
    return true;
}

// ---- colour reduction -------------------------------------------------------

ColorReduction::ColorReduction(const Project &project, quint32 framesPerStage)
{
    OctreeQuantizer quantizer(256, 6);
    quantizer.enableLeafCache();
    const quint32 none = 0;
    quantizer.addPixels(&none, 0, 0); // the root exists even without pixels
    forEachFrame(project, framesPerStage, [&](const Frame &frame) {
        const FramePixels pixels(frame.workImage);
        if (pixels.count)
            quantizer.addPixels(pixels.words, quint32(pixels.count), 1);
    });
    quantizer.getPalette(m_searchPalette);
    m_colorCount = quantizer.colorCount();
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

// ---- streaming the index bytes -------------------------------------------------

namespace {

// Collects frames in file order and, once enough pixels are pending, maps
// them (split between two threads when available) and writes the bytes.
class IndexStream
{
public:
    IndexStream(QIODevice &device, const ColorReduction &colors)
        : device(device)
        , colors(colors)
        , mapMain(colors.searchPalette())
        , twoThreads(std::thread::hardware_concurrency() >= 2)
    {
        if (twoThreads)
            mapHelper = std::make_unique<NearestColorMap>(colors.searchPalette());
    }

    bool add(const Frame &frame)
    {
        FramePixels pixels(frame.workImage);
        if (!pixels.count)
            return true;
        pendingPixels += pixels.count;
        pending.push_back(std::move(pixels));
        return pendingPixels < batchPixels || flush();
    }

    bool flush()
    {
        if (!pendingPixels)
            return true;
        buffer.resize(pendingPixels);
        const quint64 split = twoThreads && pendingPixels >= minSplitPixels ? pendingPixels / 2 : pendingPixels;
        std::thread helper;
        if (split < pendingPixels)
            helper = std::thread([this, split] { mapRange(*mapHelper, split, pendingPixels); });
        mapRange(mapMain, 0, split);
        if (helper.joinable())
            helper.join();
        const qint64 n = qint64(pendingPixels);
        pending.clear();
        pendingPixels = 0;
        return device.write(reinterpret_cast<const char *>(buffer.data()), n) == n;
    }

private:
    // Maps pixels [from, to) of the pending frames, counted across frames, into buffer.
    void mapRange(NearestColorMap &map, quint64 from, quint64 to)
    {
        quint64 at = 0;
        for (const FramePixels &frame : pending) {
            const quint64 begin = qMax(from, at), end = qMin(to, at + frame.count);
            if (begin < end)
                colors.mapPixels(map, memo, frame.words + (begin - at), end - begin, buffer.data() + begin);
            at += frame.count;
        }
    }

    static constexpr quint64 batchPixels = 1 << 20;
    static constexpr quint64 minSplitPixels = 1 << 15;

    QIODevice &device;
    const ColorReduction &colors;
    NearestColorMap mapMain;
    std::unique_ptr<NearestColorMap> mapHelper;
    NearestColorMemo memo; // shared by both threads
    bool twoThreads;
    std::vector<FramePixels> pending;
    quint64 pendingPixels = 0;
    std::vector<quint8> buffer;
};

} // namespace

bool writeArtData(QIODevice &device, const Project &project, const ArtPlan &plan, const ColorReduction &colors,
                  QString *error)
{
    // Header, palettes and frame headers: everything before the index bytes.
    const quint64 headSize = art::indexDataOffset(plan.paletteCount, plan.frames.size());
    std::vector<quint8> head(headSize, 0);
    quint8 header[art::headerSize];
    art::encodeHeader(plan.header, header);
    std::memcpy(head.data(), header, art::headerSize);
    for (quint32 k = 0; k < plan.paletteCount; ++k)
        std::memcpy(head.data() + art::paletteOffset + quint64(art::paletteSize) * k, colors.palette(), art::paletteSize);
    quint8 *frameHeader = head.data() + art::frameHeadersOffset(plan.paletteCount);
    for (const art::FrameHeader &f : plan.frames) {
        art::encodeFrameHeader(f, frameHeader);
        frameHeader += art::frameHeaderSize;
    }
    bool ok = device.write(reinterpret_cast<const char *>(head.data()), qint64(headSize)) == qint64(headSize);
    if (ok) {
        IndexStream stream(device, colors);
        forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) {
            ok = ok && stream.add(frame);
        });
        ok = ok && stream.flush();
    }
    if (!ok && error)
        *error = device.errorString();
    return ok;
}

bool writeArt(QIODevice &device, const Project &project, const GenerationSettings &settings, QString *error)
{
    QString problem;
    if (project.stageCount == 0)
        problem = QStringLiteral("No stages found...");
    else if (settings.rotatable == 1 && project.stageCount != quint32(art::directionCount))
        problem = QStringLiteral("Number of stages must be 8 for rotatable Art.") + abortingText;
    if (problem.isEmpty())
        problem = paletteCountProblem(settings.paletteCount);
    if (problem.isEmpty())
        problem = frameCountMismatch(project);
    ArtPlan plan;
    if (problem.isEmpty())
        (void)planArt(project, settings, &plan, &problem); // sets problem when it fails
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    ColorReduction colors(project, plan.framesPerStage);
    colors.fixIndexZero(project, plan.framesPerStage);
    return writeArtData(device, project, plan, colors, error);
}

bool saveArt(const QString &path, const Project &project, const GenerationSettings &settings, QString *error)
{
    QSaveFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("Cannot create output file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    if (!writeArt(file, project, settings, error))
        return false; // the save file is discarded; an existing file stays as it was
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace kestrin
