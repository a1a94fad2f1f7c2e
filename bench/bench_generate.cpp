// Generation: the plain algorithm (one combined buffer, exhaustive 256-entry
// search per pixel, file assembled in memory) against Kestrin's writer
// (frames fed one by one, leaf cache, cell-based exact search, streamed index
// bytes, two mapping threads) on generated frame sets. Both must give the same
// bytes; the figures are time, megapixels per second, the ratio and the peak
// memory each run adds.
#include "benchharness.h"
#include "benchsets.h"

#include "referenceart.h"
#include "generate/artplan.h"
#include "generate/artwriter.h"
#include "generate/colorreduction.h"
#include "generate/generation.h"
#include "indexedimage.h"
#include "wording/failuretext.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <random>

namespace {

using kestrin::Project;
using kestrinbench::makeRendered;
using kestrinbench::makeSprites;
using kestrinbench::NullDevice;

quint64 distinctColours(const Project &project)
{
    std::vector<bool> seen(1u << 24);
    quint64 n = 0;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            const QImage &img = frame->workImage;
            const auto *p = reinterpret_cast<const quint32 *>(img.constBits());
            for (qsizetype i = 0; i < qsizetype(img.width()) * img.height(); ++i) {
                const quint32 c = p[i] & 0xffffff;
                if (!seen[c]) {
                    seen[c] = true;
                    ++n;
                }
            }
        }
    }
    return n;
}

struct Measure {
    double ms = 0;
    long long peakAdded = 0;
};

Measure measure(int repeats, const std::function<void()> &fn)
{
    Measure m;
    m.ms = 1e300;
    for (int i = 0; i < repeats; ++i) {
        kestrinbench::resetPeakRss();
        const long long before = kestrinbench::currentRssBytes();
        m.ms = std::min(m.ms, kestrinbench::bestMs(1, fn));
        m.peakAdded = std::max(m.peakAdded, kestrinbench::peakRssBytes() - before);
    }
    return m;
}

// The plain colour reduction and mapping over the first `pixels` pixels of the
// project's frames, as the run would do it: combined buffer, build, swap.
void literalReduceAndMap(const Project &project, quint64 limit)
{
    std::vector<quint32> combined;
    combined.reserve(limit);
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            const auto *p = reinterpret_cast<const quint32 *>(frame->workImage.constBits());
            const quint64 n = std::min<quint64>(quint64(frame->workImage.width()) * frame->workImage.height(),
                                                limit - combined.size());
            combined.insert(combined.end(), p, p + n);
        }
    }
    kestrinref::IndexedImage image;
    image.build(combined.data(), quint32(combined.size()), 1);
    std::vector<quint32>().swap(combined);
    const quint8 q = image.indices()[0];
    for (quint64 i = 0; i < image.pixelCount(); ++i) {
        quint8 &x = image.indices()[i];
        x = x == q ? 0 : x == 0 ? q : x;
    }
}

// The generation into a device that keeps nothing: reduction, mapping and
// streaming without the file system.
void oursReduceAndMap(const Project &project)
{
    NullDevice sink;
    sink.open(QIODevice::WriteOnly);
    if (const kestrin::Failure failure = kestrin::writeArt(sink, project, kestrin::GenerationSettings()))
        std::printf("write failed: %s\n", qPrintable(kestrin::describeFailure(failure)));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

double decodeMs(const Project &project)
{
    std::vector<QByteArray> files;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            frame->workImage.save(&buffer, "BMP");
            files.push_back(bytes);
        }
    }
    return kestrinbench::bestMs(2, [&] {
        for (const QByteArray &bytes : files) {
            QImage img;
            img.loadFromData(bytes, "BMP");
            img = img.convertToFormat(QImage::Format_ARGB32);
        }
    });
}

void runSet(const char *name, void (*make)(Project &, int, int, int), int stages, int frames, int size,
            quint64 literalLimit)
{
    Project project;
    make(project, stages, frames, size);
    const quint64 pixels = quint64(stages) * frames * size * size;
    const double mp = pixels / 1e6;
    std::printf("%s: %d stages x %d frames of %d x %d = %.2f megapixels, %llu distinct colours\n", name, stages,
                frames, size, size, mp, static_cast<unsigned long long>(distinctColours(project)));

    // Ours first, so that nothing the plain run leaves in the heap hides our peak.
    const Measure quantizeOnly = measure(3, [&] { kestrin::ColorReduction colors(project, quint32(frames)); });
    const Measure ours = measure(3, [&] { oursReduceAndMap(project); });
    const bool subset = literalLimit < pixels;
    const quint64 literalPixels = subset ? literalLimit : pixels;
    const Measure literal = measure(1, [&] { literalReduceAndMap(project, literalPixels); });
    const double literalMs = literal.ms * double(pixels) / double(literalPixels);
    if (subset)
        std::printf("  (plain algorithm timed on the first %.2f megapixels and scaled to the whole set)\n",
                    literalPixels / 1e6);
    std::printf("  reduce + map   plain %9.1f ms %7.2f MP/s   ours %7.1f ms %7.1f MP/s   ratio %6.1fx\n", literalMs,
                mp / (literalMs / 1000), ours.ms, mp / (ours.ms / 1000), literalMs / ours.ms);
    std::printf("                 (of which our octree pass %.1f ms)\n", quantizeOnly.ms);
    std::printf("  reduce + map   peak memory added: plain %.1f MiB = %.2f bytes/pixel%s, ours %.1f MiB\n",
                literal.peakAdded / 1048576.0, double(literal.peakAdded) / double(literalPixels),
                subset ? " (of the subset)" : "", ours.peakAdded / 1048576.0);

    // The whole Start, to a file on disk.
    QTemporaryDir dir;
    const QString oursPath = dir.filePath("ours.art"), plainPath = dir.filePath("plain.art");
    kestrin::GenerationSettings settings;
    settings.paletteCount = 4;
    const Measure oursRun = measure(3, [&] {
        const kestrin::GenerationOutcome r = kestrin::runGeneration(project, settings, oursPath, nullptr);
        if (!r.ok())
            std::printf("  run failed: %s\n", qPrintable(kestrin::describeFailure(r.failure)));
    });
    const double budget = 1.25 * double(pixels) + 64 * 1048576.0;
    std::printf("  whole Start    ours %7.1f ms %7.1f MP/s, peak memory added %.1f MiB (budget 1.25 bytes/pixel + "
                "64 MiB = %.1f MiB: %s)\n",
                oursRun.ms, mp / (oursRun.ms / 1000), oursRun.peakAdded / 1048576.0, budget / 1048576.0,
                double(oursRun.peakAdded) <= budget ? "within" : "OVER");
    std::printf("  decoding the same frames from BMP: %.1f ms\n", decodeMs(project));

    if (!subset) {
        Measure plainRun = measure(1, [&] {
            const QByteArray bytes = kestrinref::referenceArtFile(project, settings);
            QFile f(plainPath);
            if (f.open(QIODevice::WriteOnly))
                f.write(bytes);
        });
        std::printf("  whole Start    plain %7.1f ms, peak memory added %.1f MiB\n", plainRun.ms,
                    plainRun.peakAdded / 1048576.0);
        const bool same = readFile(oursPath) == readFile(plainPath);
        std::printf("  files identical: %s\n", same ? "yes" : "NO");
    } else {
        // Same bytes on a part of the set small enough for the plain run.
        Project part;
        make(part, 2, 4, size);
        const QString a = dir.filePath("part-ours.art");
        const kestrin::GenerationOutcome r = kestrin::runGeneration(part, settings, a, nullptr);
        const bool same = r.ok() && readFile(a) == kestrinref::referenceArtFile(part, settings);
        std::printf("  files identical on a 2 x 4 part of the set: %s\n", same ? "yes" : "NO");
    }
    std::fflush(stdout);
}

} // namespace

KESTRIN_BENCH("generate/sprites", [] { runSet("sprites", makeSprites, 8, 16, 128, ~0ull); })
KESTRIN_BENCH("generate/rendered", [] {
    // The plain algorithm takes about 10 s here; KESTRIN_BENCH_QUICK=1 times it
    // on the first quarter of the pixels instead and scales the figure up.
    const quint64 limit = qEnvironmentVariableIsSet("KESTRIN_BENCH_QUICK") ? quint64(4) << 20 : ~0ull;
    runSet("rendered", makeRendered, 8, 32, 256, limit);
})

// Only our side of the rendered set, best of 7: for profiling and quick comparisons.
KESTRIN_BENCH("generate/ours-rendered", [] {
    Project project;
    makeRendered(project, 8, 32, 256);
    const Measure quantize = measure(7, [&] { kestrin::ColorReduction colors(project, 32); });
    const Measure ours = measure(7, [&] { oursReduceAndMap(project); });
    std::printf("  reduce + map %.1f ms (octree pass %.1f ms)\n", ours.ms, quantize.ms);
})
