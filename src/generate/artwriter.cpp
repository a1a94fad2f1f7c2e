#include "generate/artwriter.h"

#include "artfile/artencoder.h"
#include "generate/colorreduction.h"
#include "quantize/nearestcolor.h"

#include <QElapsedTimer>
#include <QIODevice>

#include <memory>
#include <thread>

namespace kestrin {

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
        QElapsedTimer timer;
        timer.start();
        buffer.resize(pendingPixels);
        const quint64 split = twoThreads && pendingPixels >= minSplitPixels ? pendingPixels / 2 : pendingPixels;
        std::thread helper;
        if (split < pendingPixels)
            helper = std::thread([this, split] { mapRange(*mapHelper, split, pendingPixels); });
        mapRange(mapMain, 0, split);
        if (helper.joinable())
            helper.join();
        mapNanoseconds += timer.nsecsElapsed();
        const qint64 n = qint64(pendingPixels);
        pending.clear();
        pendingPixels = 0;
        return device.write(reinterpret_cast<const char *>(buffer.data()), n) == n;
    }

    qint64 mapNanoseconds = 0; // time spent mapping so far

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
    if (!failure)
        failure = checkFrameCounts(project);
    ArtPlan plan;
    if (!failure)
        failure = planArt(project, settings, &plan);
    if (failure)
        return failure;
    ColorReduction colors(project, plan.framesPerStage);
    colors.fixIndexZero(project, plan.framesPerStage);
    return writeArtData(device, project, plan, colors);
}

} // namespace kestrin
