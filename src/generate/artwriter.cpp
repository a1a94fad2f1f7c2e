#include "generate/artwriter.h"

#include "artfile/artencoder.h"
#include "fileio/failure.h"
#include "generate/colorreduction.h"
#include "palettes/palettefile.h"
#include "quantize/nearestcolor.h"
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
    IndexStream(QIODevice &device, const ColorReduction &colors, quint64 totalPixels)
        : m_device(device),
          m_colors(colors),
          m_maps(size_t(colors.threads())),
          m_scratch(size_t(colors.threads())),
          m_memo(totalPixels >= kMemoPixels)
    {
    }

    bool add(const Frame &frame)
    {
        FramePixels pixels(frame.workImage, m_colors.background().enabled());
        if (!pixels.count)
            return true;
        m_pendingPixels += pixels.count;
        m_pending.push_back(std::move(pixels));
        m_origins.emplace_back(frame.boundRect.left, frame.boundRect.top);
        return m_pendingPixels < kBatchPixels || flush();
    }

    bool flush()
    {
        if (!m_pendingPixels)
            return true;
        QElapsedTimer timer;
        timer.start();
        m_buffer.resize(m_pendingPixels);
        if (m_colors.dithers()) {
            const int parts = int(std::min<quint64>(m_pending.size(), quint64(m_colors.threads())));
            parallelRanges(parts, m_pending.size(),
                           [this](int part, quint64 from, quint64 to) { mapFrames(part, from, to); });
        } else {
            // No run shorter than half the smallest batch worth splitting.
            const quint64 threads = quint64(m_colors.threads());
            const quint64 parts = std::clamp<quint64>(m_pendingPixels / (kMinSplitPixels / 2), 1, threads);
            parallelRanges(int(parts), m_pendingPixels,
                           [this](int part, quint64 from, quint64 to) { mapRange(part, from, to); });
        }
        mapNanoseconds += timer.nsecsElapsed();
        const qint64 n = qint64(m_pendingPixels);
        m_pending.clear();
        m_origins.clear();
        m_pendingPixels = 0;
        return m_device.write(reinterpret_cast<const char *>(m_buffer.data()), n) == n;
    }

    qint64 mapNanoseconds = 0; // time spent mapping so far

private:
    NearestColorMap &map(int part)
    {
        if (!m_maps[size_t(part)])
            m_maps[size_t(part)].reset(m_colors.makeSearchMap());
        return *m_maps[size_t(part)];
    }

    // Maps pixels [from, to) of the pending frames, counted across frames, into buffer.
    void mapRange(int part, quint64 from, quint64 to)
    {
        quint64 at = 0;
        for (const FramePixels &frame : m_pending) {
            const quint64 begin = qMax(from, at), end = qMin(to, at + frame.count);
            if (begin < end)
                m_colors.mapPixels(map(part), m_memo, frame.words + (begin - at), end - begin, m_buffer.data() + begin);
            at += frame.count;
        }
    }

    // Maps whole pending frames [from, to) with error diffusion.
    void mapFrames(int part, quint64 from, quint64 to)
    {
        quint64 at = 0;
        for (quint64 f = 0; f < to; ++f) {
            const FramePixels &frame = m_pending[f];
            if (f >= from) {
                m_colors.mapFrameDithered(map(part), m_memo, frame.words, frame.image.width(), frame.image.height(),
                                          m_origins[f], m_buffer.data() + at, m_scratch[size_t(part)]);
            }
            at += frame.count;
        }
    }

    static constexpr quint64 kBatchPixels = 1 << 20;
    static constexpr quint64 kMinSplitPixels = 1 << 15;
    // Below this many pixels the memo's table costs more to fault in than
    // the searches it saves (the cell search alone is a few candidates).
    static constexpr quint64 kMemoPixels = 1 << 20;

    QIODevice &m_device;
    const ColorReduction &m_colors;
    std::vector<std::unique_ptr<NearestColorMap>> m_maps; // one per worker, made on first use
    std::vector<std::vector<int>> m_scratch;              // error rows of each worker
    NearestColorMemo m_memo;                              // shared by the workers
    std::vector<FramePixels> m_pending;
    std::vector<QPoint> m_origins; // of each pending frame in its untrimmed image
    quint64 m_pendingPixels = 0;
    std::vector<quint8> m_buffer;
};

} // namespace

Failure writeArtData(QIODevice &device, const Project &project, const ArtPlan &plan, const ColorReduction &colors,
                     qint64 *mapNanoseconds)
{
    const QByteArray head = art::encodeHead(plan.header, plan.paletteCount, colors.palette(), plan.frames);
    bool ok = device.write(head) == head.size();
    if (ok) {
        quint64 totalPixels = 0;
        forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) {
            totalPixels += quint64(frame.workImage.width()) * quint64(frame.workImage.height());
        });
        IndexStream stream(device, colors, totalPixels);
        forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) { ok = ok && stream.add(frame); });
        ok = ok && stream.flush();
        if (mapNanoseconds)
            *mapNanoseconds = stream.mapNanoseconds;
    }
    return ok ? Failure()
              : Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), QString(), device.errorString());
}

} // namespace kestrin
