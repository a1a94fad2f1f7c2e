// Quality of the palette and of index 0 on renders, side by side with the
// window's reduction and with pngquant (when installed): interior PSNR, the
// share of background pixels that get index 0 (and of content pixels that
// wrongly do), and times; then the refined quantizer against pngquant on the
// large rendered set, in process and as whole processes on PNG files.
#include "benchharness.h"
#include "benchpeer.h"
#include "benchsets.h"

#include "artfile/artreader.h"
#include "cli/artimage.h"
#include "generate/artwriter.h"
#include "generate/generation.h"
#include "quantize/backgroundrule.h"
#include "quantize/colorhistogram.h"
#include "quantize/refinedquantizer.h"
#include "wording/failuretext.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <ctime>
#include <cstdio>

namespace {

using kestrin::GenerationSettings;
using kestrin::Project;
using kestrin::QuantizerKind;
using kestrinbench::pngquantPath;
using kestrinbench::stack;
using kestrinbench::unstack;

const QRgb kMagenta = qRgb(255, 0, 255);

/** The frames of a set as a vector, in file order, and which pixels are interior. */
struct FrameSet {
    std::vector<QImage> frames;   // as given to the generation (ARGB32)
    std::vector<QImage> renders;  // the renders they came from (alpha decides the interior)
    int directions = 0, perDirection = 0;
};

Project projectOf(const FrameSet &set)
{
    Project project;
    for (int d = 0; d < set.directions; ++d) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < set.perDirection; ++f) {
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = set.frames[size_t(d * set.perDirection + f)];
            frame->workImage = frame->sourceImage;
        }
    }
    return project;
}

/** A pixel is interior when it and its 8 neighbours are fully opaque in
 *  the render: edges, whose partial alpha tools treat differently, are left out. */
bool interior(const QImage &render, int x, int y)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= render.width() || ny >= render.height()
                || qAlpha(render.pixel(nx, ny)) != 255)
                return false;
        }
    }
    return true;
}

struct Quality {
    double psnr = 0;            // interior pixels, RGB
    double backgroundZero = -1; // share of background pixels written see-through (index 0; alpha 0 for pngquant)
    double contentZero = -1;    // share of other pixels written see-through
    double ms = 0;
    bool ok = false;
};

double psnrOf(double squaredError, quint64 samples)
{
    const double mse = squaredError / double(samples);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

/** Compares `outputs` (what the game shows for each frame, alpha 0 = see-through)
 *  with the set; `isBackground` says which input pixels should be see-through. */
Quality compare(const FrameSet &set, const std::vector<QImage> &outputs, const kestrin::BackgroundRule &rule)
{
    Quality q;
    double error = 0;
    quint64 samples = 0, background = 0, backgroundZero = 0, content = 0, contentZero = 0;
    for (size_t i = 0; i < set.frames.size(); ++i) {
        const QImage &in = set.frames[i];
        const QImage &out = outputs[i];
        for (int y = 0; y < in.height(); ++y) {
            for (int x = 0; x < in.width(); ++x) {
                const QRgb a = in.pixel(x, y), b = out.pixel(x, y);
                const bool seeThrough = qAlpha(b) == 0;
                if (rule.isBackground(a)) {
                    ++background;
                    backgroundZero += seeThrough;
                } else {
                    ++content;
                    contentZero += seeThrough;
                }
                if (!interior(set.renders[i], x, y))
                    continue;
                const int d[3] = {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)};
                error += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                samples += 3;
            }
        }
    }
    q.psnr = psnrOf(error, samples);
    q.backgroundZero = background ? 100.0 * backgroundZero / background : 0;
    q.contentZero = content ? 100.0 * contentZero / content : 0;
    q.ok = true;
    return q;
}

/** The file for `project` with `settings`, made in memory, and its frames
 *  drawn through the palette with index 0 see-through. */
Quality ours(const FrameSet &set, const GenerationSettings &settings, const kestrin::BackgroundRule &rule)
{
    const Project project = projectOf(set);
    QByteArray bytes;
    const double ms = kestrinbench::bestMs(3, [&] {
        bytes.clear();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (const kestrin::Failure f = kestrin::writeArt(buffer, project, settings))
            std::printf("  failed: %s\n", qPrintable(kestrin::describeFailure(f)));
    });
    kestrin::ArtFile art;
    if (const kestrin::Failure failure = kestrin::parseArt(bytes, art)) {
        std::printf("  unreadable file: %s\n", qPrintable(failure.reason));
        return Quality();
    }
    std::vector<QImage> outputs;
    for (size_t i = 0; i < art.frames.size(); ++i)
        outputs.push_back(kestrin::frameImage(art, int(i), true));
    Quality q = compare(set, outputs, rule);
    q.ms = ms;
    return q;
}

/** Runs a program and returns its wall time in ms, or -1 when it failed. */
double runTimed(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::printf("  %s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

/** pngquant on the frames stacked into one PNG (RGBA when `alpha`, else RGB). */
Quality peer(const FrameSet &set, bool alpha, const QStringList &options, const kestrin::BackgroundRule &rule,
             const QString &dir)
{
    const QString in = dir + QStringLiteral("/stacked.png"), out = dir + QStringLiteral("/stacked-out.png");
    stack(set.frames, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32).save(in);
    QFile::remove(out);
    const double ms = runTimed(pngquantPath(), options + QStringList{QStringLiteral("--force"),
                                                                     QStringLiteral("--output"), out, in});
    if (ms < 0)
        return Quality();
    const std::vector<QImage> outputs = unstack(QImage(out), set.frames);
    Quality q = compare(set, outputs, rule);
    q.ms = ms;
    if (!alpha)
        q.backgroundZero = q.contentZero = -1; // no see-through pixels without alpha: not comparable
    return q;
}

void printRow(const char *name, const Quality &q)
{
    if (!q.ok) {
        std::printf("  %-44s (not run)\n", name);
        return;
    }
    const auto share = [](double v) {
        return v < 0 ? QStringLiteral("     -") : QString::asprintf("%6.1f", v);
    };
    std::printf("  %-44s %7.2f dB   %s %%   %s %%   %8.1f ms\n", name, q.psnr, qPrintable(share(q.backgroundZero)),
                qPrintable(share(q.contentZero)), q.ms);
}

FrameSet creatureSet(bool keyed)
{
    FrameSet set;
    set.directions = 8;
    set.perDirection = 8;
    for (int d = 0; d < 8; ++d) {
        for (int f = 0; f < 8; ++f) {
            const QImage render = kestrinbench::renderCreature(d, f, 8, 96);
            set.renders.push_back(render);
            set.frames.push_back(keyed ? kestrinbench::overKey(render, kMagenta) : render);
        }
    }
    return set;
}

void runCreature(bool keyed)
{
    const FrameSet set = creatureSet(keyed);
    std::printf("%s: 8 directions x 8 frames of 96 x 96, a shaded creature with anti-aliased edges%s\n",
                keyed ? "keyed" : "soft alpha",
                keyed ? ", composited on magenta 255,0,255"
                      : "; fully transparent pixels keep the colours of the sky the renderer cleared to");
    std::printf("  %-44s %10s   %8s   %8s   %11s\n", "", "interior", "bg at 0", "other 0", "time");

    kestrin::BackgroundRule rule;
    GenerationSettings base;
    base.paletteCount = 1;
    if (keyed) {
        rule.useKey = true;
        rule.keyColor = kMagenta & 0xffffff;
    } else {
        rule.alphaThreshold = 128;
    }
    GenerationSettings background = base;
    background.useKey = rule.useKey;
    background.keyColor = rule.keyColor;
    background.alphaThreshold = rule.alphaThreshold;
    const char *options = keyed ? "--key 255,0,255" : "--alpha-threshold 128";

    printRow("window (no option)", ours(set, base, rule));
    GenerationSettings octree = background;
    printRow(qPrintable(QStringLiteral("%1").arg(QLatin1String(options))), ours(set, octree, rule));
    GenerationSettings refined = background;
    refined.quantizer = QuantizerKind::Refined;
    const Quality target = ours(set, refined, rule);
    printRow(qPrintable(QStringLiteral("%1 --quantizer refined").arg(QLatin1String(options))), target);
    GenerationSettings dithered = refined;
    dithered.dither = kestrin::DitherKind::FloydSteinberg;
    printRow("  ... --dither floyd-steinberg", ours(set, dithered, rule));

    if (pngquantPath().isEmpty()) {
        std::printf("  pngquant: NOT INSTALLED (apt-get install pngquant); its rows are left out\n");
        return;
    }
    QTemporaryDir dir;
    const Quality nofs = peer(set, !keyed, {QStringLiteral("--speed"), QStringLiteral("1"), QStringLiteral("--nofs"),
                                            QStringLiteral("256")},
                              rule, dir.path());
    printRow(keyed ? "pngquant --speed 1 --nofs 256 (RGB)" : "pngquant --speed 1 --nofs 256 (RGBA)", nofs);
    if (target.ok && nofs.ok)
        std::printf("  refined - pngquant: %+.2f dB (target >= 0, aim +0.5)\n", target.psnr - nofs.psnr);
}

// ---- The large rendered set: speed and PSNR against pngquant ---------------

double wholePsnr(const Project &project, const QByteArray &art)
{
    kestrin::ArtFile file;
    if (kestrin::parseArt(art, file))
        return 0;
    double sum = 0;
    quint64 samples = 0;
    int i = 0;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            const QImage out = kestrin::frameImage(file, i++, false);
            for (int y = 0; y < out.height(); ++y) {
                const auto *a = reinterpret_cast<const QRgb *>(frame->workImage.constScanLine(y));
                const auto *b = reinterpret_cast<const QRgb *>(out.constScanLine(y));
                for (int x = 0; x < out.width(); ++x) {
                    const int d[3] = {qRed(a[x]) - qRed(b[x]), qGreen(a[x]) - qGreen(b[x]), qBlue(a[x]) - qBlue(b[x])};
                    sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                    samples += 3;
                }
            }
        }
    }
    return psnrOf(sum, samples);
}

double stackedPsnr(const std::vector<QImage> &frames, const QImage &out)
{
    double sum = 0;
    quint64 samples = 0;
    int y0 = 0;
    for (const QImage &f : frames) {
        for (int y = 0; y < f.height(); ++y) {
            const auto *a = reinterpret_cast<const QRgb *>(f.constScanLine(y));
            for (int x = 0; x < f.width(); ++x) {
                const QRgb b = out.pixel(x, y0 + y);
                const int d[3] = {qRed(a[x]) - qRed(b), qGreen(a[x]) - qGreen(b), qBlue(a[x]) - qBlue(b)};
                sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                samples += 3;
            }
        }
        y0 += f.height();
    }
    return psnrOf(sum, samples);
}

void runRenderedAgainstPeer()
{
    Project project;
    kestrinbench::makeRendered(project, 8, 32, 256);
    std::printf("rendered: 8 stages x 32 frames of 256 x 256 = 16.78 megapixels, smooth gradients with noise\n");

    for (const QuantizerKind kind : {QuantizerKind::Octree, QuantizerKind::Refined}) {
        GenerationSettings settings;
        settings.quantizer = kind;
        double ms = 1e300;
        long long peak = 0;
        for (int i = 0; i < 3; ++i) {
            kestrinbench::resetPeakRss();
            const long long before = kestrinbench::currentRssBytes();
            ms = std::min(ms, kestrinbench::bestMs(1, [&] {
                kestrinbench::NullDevice sink; // the file's own bytes are not counted
                sink.open(QIODevice::WriteOnly);
                (void)kestrin::writeArt(sink, project, settings);
            }));
            peak = std::max(peak, kestrinbench::peakRssBytes() - before);
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        (void)kestrin::writeArt(buffer, project, settings);
        std::printf("  in process, %-8s reduce + map + write %8.1f ms   PSNR %.2f dB   peak memory added %.1f MiB\n",
                    kind == QuantizerKind::Octree ? "octree" : "refined", ms, wholePsnr(project, bytes),
                    peak / 1048576.0);
    }

    QTemporaryDir dir;
    // KESTRIN_BENCH_KEEP=1 keeps the frames, for profiling a build by hand.
    dir.setAutoRemove(qEnvironmentVariableIntValue("KESTRIN_BENCH_KEEP") == 0);
    if (!dir.autoRemove())
        std::printf("  (frames kept in %s)\n", qPrintable(dir.filePath(QStringLiteral("frames"))));
    QDir().mkpath(dir.filePath(QStringLiteral("frames")));
    std::vector<QImage> frames;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        for (quint32 f = 0; f < project.stages[s]->frameCount; ++f) {
            const QImage &img = project.stages[s]->frames[f]->workImage;
            frames.push_back(img);
            img.convertToFormat(QImage::Format_RGB32)
                .save(dir.filePath(QStringLiteral("frames/camera%1_%2.png")
                                       .arg(s + 1, 2, 10, QLatin1Char('0'))
                                       .arg(f, 4, 10, QLatin1Char('0'))));
        }
    }
    const QString stacked = dir.filePath(QStringLiteral("stacked.png"));
    stack(frames, QImage::Format_RGB32).save(stacked);

    const QString art = QStringLiteral(KESTRIN_ART);
    const QString out = dir.filePath(QStringLiteral("out.art"));
    double oursMs = 1e300;
    for (int i = 0; i < 3; ++i) {
        oursMs = std::min(oursMs, runTimed(art, {QStringLiteral("build"), dir.filePath(QStringLiteral("frames")),
                                                 QStringLiteral("--pattern"), QStringLiteral("camera%1_%2.png"),
                                                 QStringLiteral("--quantizer"), QStringLiteral("refined"),
                                                 QStringLiteral("-q"), QStringLiteral("-o"), out}));
    }
    std::printf("  whole process: kestrin-art build (256 PNG frames) --quantizer refined   %8.1f ms (best of 3)\n",
                oursMs);
    if (pngquantPath().isEmpty()) {
        std::printf("  pngquant: NOT INSTALLED (apt-get install pngquant); no comparison\n");
        return;
    }
    const QString peerOut = dir.filePath(QStringLiteral("peer.png"));
    const double fsMs = runTimed(pngquantPath(), {QStringLiteral("--speed"), QStringLiteral("1"),
                                                  QStringLiteral("256"), QStringLiteral("--force"),
                                                  QStringLiteral("--output"), peerOut, stacked});
    const double fsPsnr = stackedPsnr(frames, QImage(peerOut));
    const double nofsMs = runTimed(pngquantPath(), {QStringLiteral("--speed"), QStringLiteral("1"),
                                                    QStringLiteral("--nofs"), QStringLiteral("256"),
                                                    QStringLiteral("--force"), QStringLiteral("--output"), peerOut,
                                                    stacked});
    const double nofsPsnr = stackedPsnr(frames, QImage(peerOut));
    std::printf("  whole process: pngquant --speed 1 256 (one stacked PNG)                   %8.1f ms   PSNR %.2f dB\n",
                fsMs, fsPsnr);
    std::printf("  whole process: pngquant --speed 1 --nofs 256                              %8.1f ms   PSNR %.2f dB\n",
                nofsMs, nofsPsnr);
    std::printf("  refined is %.1fx faster than pngquant --speed 1 (target >= 5x, aim 10x); %.1fx than --nofs\n",
                fsMs / oursMs, nofsMs / oursMs);
}

// Where the refined quantizer spends its time on the rendered set, by
// histogram size: building the histogram, the split and the k-means rounds.
void runRefinedParts()
{
    Project project;
    kestrinbench::makeRendered(project, 8, 32, 256);
    for (const quint32 bins : {1u << 16, 1u << 17, 1u << 18, 1u << 19, 1u << 20}) {
        kestrin::ColorHistogram histogram(bins);
        const std::clock_t cpu0 = std::clock();
        const double buildMs = kestrinbench::bestMs(1, [&] {
            for (const auto &stage : project.stages) {
                for (const auto &frame : stage->frames) {
                    const QImage &img = frame->workImage;
                    histogram.add(reinterpret_cast<const quint32 *>(img.constBits()),
                                  quint64(img.width()) * quint64(img.height()), kestrin::BackgroundRule());
                }
            }
        });
        const double buildCpu = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
        const std::vector<kestrin::WeightedColor> colors = histogram.colors();
        const std::clock_t cpu1 = std::clock();
        kestrin::RefinedPalette palette;
        const double refineMs = kestrinbench::bestMs(1, [&] {
            palette = kestrin::refinePalette(colors, 256, 2, histogram.shift() == 0);
        });
        const double refineCpu = double(std::clock() - cpu1) * 1000.0 / CLOCKS_PER_SEC;
        std::printf("  at most %7u bins: %7u used (shift %d), histogram %6.1f ms (cpu %6.1f), palette %7.1f ms "
                    "(cpu %6.1f, 2 threads) in %d rounds, error per pixel %.2f\n",
                    bins, histogram.size(), histogram.shift(), buildMs, buildCpu, refineMs, refineCpu,
                    palette.iterations,
                    kestrin::weightedSquaredError(colors, palette.colors) / double(histogram.pixelCount()));
    }
}

} // namespace

KESTRIN_BENCH("quality/refined-parts", [] { runRefinedParts(); })
KESTRIN_BENCH("quality/soft-alpha", [] { runCreature(false); })
KESTRIN_BENCH("quality/keyed", [] { runCreature(true); })
KESTRIN_BENCH("quality/rendered", [] { runRenderedAgainstPeer(); })
