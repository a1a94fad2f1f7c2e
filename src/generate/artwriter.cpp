#include "generate/artwriter.h"

#include "artfile/artencoder.h"
#include "generate/colorreduction.h"
#include "quantize/nearestcolor.h"
#include "quantize/palettefile.h"
#include "quantize/parallelranges.h"

#include <QElapsedTimer>
#include <QIODevice>

#include <memory>

namespace kestrin {

namespace {

// Collects frames in file order and, once enough pixels are pending, maps
// them on the reduction's worker threads and writes the bytes. Without
// dithering the pending pixels are cut into one run per thread; with it,
// whole frames are shared out, since error diffusion runs through a frame.
// Either way every byte is what one thread alone would give.
class IndexStream
{
public:
    IndexStream(QIODevice &device, const ColorReduction &colors)
        : device(device)
        , colors(colors)
        , maps(size_t(colors.threads()))
        , scratch(size_t(colors.threads()))
    {
    }

    bool add(const Frame &frame)
    {
        FramePixels pixels(frame.workImage, colors.background().enabled());
        if (!pixels.count)
            return true;
        pendingPixels += pixels.count;
        pending.push_back(std::move(pixels));
        return pendingPixels < kBatchPixels || flush();
    }

    bool flush()
    {
        if (!pendingPixels)
            return true;
        QElapsedTimer timer;
        timer.start();
        buffer.resize(pendingPixels);
        if (colors.dithers()) {
            const int parts = int(std::min<quint64>(pending.size(), quint64(colors.threads())));
            parallelRanges(parts, pending.size(), [this](int part, quint64 from, quint64 to) {
                mapFrames(part, from, to);
            });
        } else {
            // No run shorter than half the smallest batch worth splitting.
            const quint64 threads = quint64(colors.threads());
            const quint64 parts = std::clamp<quint64>(pendingPixels / (kMinSplitPixels / 2), 1, threads);
            parallelRanges(int(parts), pendingPixels, [this](int part, quint64 from, quint64 to) {
                mapRange(part, from, to);
            });
        }
        mapNanoseconds += timer.nsecsElapsed();
        const qint64 n = qint64(pendingPixels);
        pending.clear();
        pendingPixels = 0;
        return device.write(reinterpret_cast<const char *>(buffer.data()), n) == n;
    }

    qint64 mapNanoseconds = 0; // time spent mapping so far

private:
    NearestColorMap &map(int part)
    {
        if (!maps[size_t(part)])
            maps[size_t(part)].reset(colors.makeSearchMap());
        return *maps[size_t(part)];
    }

    // Maps pixels [from, to) of the pending frames, counted across frames, into buffer.
    void mapRange(int part, quint64 from, quint64 to)
    {
        quint64 at = 0;
        for (const FramePixels &frame : pending) {
            const quint64 begin = qMax(from, at), end = qMin(to, at + frame.count);
            if (begin < end)
                colors.mapPixels(map(part), memo, frame.words + (begin - at), end - begin, buffer.data() + begin);
            at += frame.count;
        }
    }

    // Maps whole pending frames [from, to) with error diffusion.
    void mapFrames(int part, quint64 from, quint64 to)
    {
        quint64 at = 0;
        for (quint64 f = 0; f < to; ++f) {
            const FramePixels &frame = pending[f];
            if (f >= from) {
                colors.mapFrameDithered(map(part), memo, frame.words, frame.image.width(), frame.image.height(),
                                        buffer.data() + at, scratch[size_t(part)]);
            }
            at += frame.count;
        }
    }

    static constexpr quint64 kBatchPixels = 1 << 20;
    static constexpr quint64 kMinSplitPixels = 1 << 15;

    QIODevice &device;
    const ColorReduction &colors;
    std::vector<std::unique_ptr<NearestColorMap>> maps; // one per worker, made on first use
    std::vector<std::vector<int>> scratch;               // error rows of each worker
    NearestColorMemo memo;                               // shared by the workers
    std::vector<FramePixels> pending;
    quint64 pendingPixels = 0;
    std::vector<quint8> buffer;
};

} // namespace

Failure writeArtData(QIODevice &device, const Project &project, const ArtPlan &plan, const ColorReduction &colors,
                     qint64 *mapNanoseconds)
{
    const QByteArray head = art::encodeHead(plan.header, plan.paletteCount, colors.palette(), plan.frames);
    bool ok = device.write(head) == head.size();
    if (ok) {
        IndexStream stream(device, colors);
        forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) { ok = ok && stream.add(frame); });
        ok = ok && stream.flush();
        if (mapNanoseconds)
            *mapNanoseconds = stream.mapNanoseconds;
    }
    return ok ? Failure() : Failure::of(FailureKind::CannotWriteFile, QString(), device.errorString());
}

Failure writeArt(QIODevice &device, const Project &project, const GenerationSettings &settings)
{
    Failure failure = checkSettings(project, settings);
    PaletteFile paletteFile;
    ColorOptions colorOptions;
    if (!failure)
        failure = prepareColorOptions(settings, &paletteFile, &colorOptions);
    if (!failure)
        failure = checkFrameCounts(project);
    ArtPlan plan;
    if (!failure)
        failure = planArt(project, settings, &plan);
    if (failure)
        return failure;
    ColorReduction colors(project, plan.framesPerStage, colorOptions);
    colors.fixIndexZero(project, plan.framesPerStage);
    return writeArtData(device, project, plan, colors);
}

} // namespace kestrin
