// Sprites at the sizes users build: the refined palette against pngquant
// --speed 1 as whole processes on the same frames (stacked into one image for
// pngquant), start-up, and how much each dithering flickers on an animated
// sprite whose body stands still while a part of it moves.
//
// KESTRIN_BENCH_BASELINE_ART may name an older kestrin-art; its times are
// then printed beside ours (same frames, same options).
#include "benchharness.h"
#include "benchpeer.h"
#include "benchsets.h"

#include "artfile/artreader.h"
#include "cli/artimage.h"
#include "generate/artwriter.h"
#include "generate/generation.h"
#include "wording/failuretext.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>

#ifndef KESTRIN_ART
#define KESTRIN_ART "kestrin-art" // found on PATH
#endif

namespace {

using kestrin::DitherKind;
using kestrin::GenerationSettings;
using kestrin::Project;
using kestrin::QuantizerKind;
using kestrinbench::bestSpawnMs;
using kestrinbench::pngquantPath;

const QRgb kKey = qRgb(255, 0, 255);

/** A walking creature keyed on magenta, as artists' BMP sets are: `directions`
 *  x `frames` frames of `size` pixels; `grain` adds per-pixel noise of up to
 *  that much per channel to the creature (renders with film grain or
 *  texture noise have many more colours). */
std::vector<QImage> walkFrames(int size, int directions, int frames, int grain)
{
    std::mt19937 rng(quint32(size * 131 + grain));
    std::vector<QImage> out;
    for (int d = 0; d < directions; ++d) {
        for (int f = 0; f < frames; ++f) {
            QImage img = kestrinbench::overKey(kestrinbench::renderCreature(d, f, frames, size), kKey);
            for (int y = 0; grain && y < size; ++y) {
                auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < size; ++x) {
                    if (row[x] == kKey)
                        continue;
                    const auto jitter = [&](int c) { return qBound(0, c + int(rng() % (2 * grain + 1)) - grain, 255); };
                    row[x] = qRgb(jitter(qRed(row[x])), jitter(qGreen(row[x])), jitter(qBlue(row[x])));
                    if (row[x] == kKey)
                        row[x] = qRgb(254, 0, 255);
                }
            }
            out.push_back(img);
        }
    }
    return out;
}

quint64 distinctColours(const std::vector<QImage> &frames)
{
    std::set<quint32> seen;
    for (const QImage &f : frames) {
        for (int y = 0; y < f.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(f.constScanLine(y));
            for (int x = 0; x < f.width(); ++x)
                seen.insert(row[x] & 0xffffff);
        }
    }
    return seen.size();
}

/** PSNR over red, green and blue of the pixels that are not the key. */
double contentPsnr(const std::vector<QImage> &in, const std::vector<QImage> &out)
{
    double sum = 0;
    quint64 samples = 0;
    for (size_t i = 0; i < in.size() && i < out.size(); ++i) {
        for (int y = 0; y < in[i].height(); ++y) {
            for (int x = 0; x < in[i].width(); ++x) {
                const QRgb a = in[i].pixel(x, y), b = out[i].pixel(x, y);
                if ((a & 0xffffff) == (kKey & 0xffffff))
                    continue;
                const int d[3] = {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)};
                sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                samples += 3;
            }
        }
    }
    const double mse = samples ? sum / double(samples) : 0;
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

std::vector<QImage> artFrames(const QByteArray &bytes)
{
    kestrin::ArtFile art;
    std::vector<QImage> out;
    if (kestrin::parseArt(bytes, art))
        return out;
    for (size_t i = 0; i < art.frames.size(); ++i)
        out.push_back(kestrin::frameImage(art, int(i), false));
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** Writes the frames as one stage per direction of PNG files and as one
 *  stacked PNG; returns false when a file could not be written. */
bool writeSet(const std::vector<QImage> &frames, int directions, const QString &folder, const QString &stacked)
{
    QDir().mkpath(folder);
    const int perDirection = int(frames.size()) / directions;
    for (size_t i = 0; i < frames.size(); ++i) {
        const QString name = QStringLiteral("%1/camera%2_%3.png")
                                 .arg(folder)
                                 .arg(int(i) / perDirection + 1, 2, 10, QLatin1Char('0'))
                                 .arg(int(i) % perDirection, 4, 10, QLatin1Char('0'));
        if (!frames[i].convertToFormat(QImage::Format_RGB32).save(name))
            return false;
    }
    return kestrinbench::stack(frames, QImage::Format_RGB32).save(stacked);
}

struct Run {
    double ms = -1;
    double psnr = 0;
};

/** kestrin-art build of `folder` with `options`, best of `runs`, and the PSNR of its file. */
Run ourBuild(const QString &program, const QString &folder, const QStringList &options,
             const std::vector<QImage> &frames, const QString &scratch, int runs)
{
    const QString target = scratch + QStringLiteral("/out.art");
    Run run;
    run.ms
        = bestSpawnMs(runs, program,
                      QStringList{QStringLiteral("build"), folder, QStringLiteral("--pattern"),
                                  QStringLiteral("camera%1_%2.png"), QStringLiteral("-q"), QStringLiteral("-o"), target}
                          + options,
                      scratch + QStringLiteral("/log.txt"));
    if (run.ms >= 0)
        run.psnr = contentPsnr(frames, artFrames(fileBytes(target)));
    return run;
}

Run peerBuild(const QString &stacked, const QStringList &options, const std::vector<QImage> &frames,
              const QString &scratch, int runs)
{
    const QString target = scratch + QStringLiteral("/peer.png");
    Run run;
    run.ms = bestSpawnMs(runs, pngquantPath(),
                         options
                             + QStringList{QStringLiteral("256"), QStringLiteral("--force"), QStringLiteral("--output"),
                                           target, stacked},
                         scratch + QStringLiteral("/log.txt"));
    if (run.ms >= 0)
        run.psnr = contentPsnr(frames, kestrinbench::unstack(QImage(target), frames));
    return run;
}

QString baselineArt()
{
    return qEnvironmentVariable("KESTRIN_BENCH_BASELINE_ART");
}

// ---- refined against pngquant at sprite sizes -------------------------------

struct SpriteSet {
    const char *name;
    int size, directions, frames, grain;
};

void compareSet(const SpriteSet &set, const QStringList &ourOptions, bool withOctree)
{
    const std::vector<QImage> frames = walkFrames(set.size, set.directions, set.frames, set.grain);
    QTemporaryDir dir;
    // KESTRIN_BENCH_KEEP=1 keeps the frames, for profiling a build by hand.
    dir.setAutoRemove(qEnvironmentVariableIntValue("KESTRIN_BENCH_KEEP") == 0);
    const QString folder = dir.filePath(QStringLiteral("frames")), stacked = dir.filePath(QStringLiteral("all.png"));
    if (!writeSet(frames, set.directions, folder, stacked)) {
        std::printf("  %s: could not write the frames\n", set.name);
        return;
    }
    if (!dir.autoRemove())
        std::printf("  (frames kept in %s)\n", qPrintable(folder));
    const quint64 pixels = quint64(frames.size()) * quint64(set.size) * quint64(set.size);
    std::printf("%s: %zu frames, %.2f MP, %llu colours\n", set.name, frames.size(), double(pixels) / 1e6,
                static_cast<unsigned long long>(distinctColours(frames)));
    const QStringList refined = ourOptions + QStringList{QStringLiteral("--quantizer"), QStringLiteral("refined")};
    const Run ours = ourBuild(QStringLiteral(KESTRIN_ART), folder, refined, frames, dir.path(), 5);
    std::printf("  %-46s %8.1f ms   PSNR %6.2f dB\n", "kestrin-art --quantizer refined", ours.ms, ours.psnr);
    if (!baselineArt().isEmpty()) {
        const Run before = ourBuild(baselineArt(), folder, refined, frames, dir.path(), 5);
        std::printf("  %-46s %8.1f ms   PSNR %6.2f dB\n", "  baseline kestrin-art, same options", before.ms,
                    before.psnr);
    }
    if (withOctree) {
        const Run octree = ourBuild(QStringLiteral(KESTRIN_ART), folder, ourOptions, frames, dir.path(), 3);
        std::printf("  %-46s %8.1f ms   PSNR %6.2f dB\n", "kestrin-art (octree, the window's)", octree.ms, octree.psnr);
    }
    if (pngquantPath().isEmpty()) {
        std::printf("  pngquant: NOT INSTALLED (apt-get install pngquant); no comparison\n");
        return;
    }
    const Run peer = peerBuild(stacked, {QStringLiteral("--speed"), QStringLiteral("1")}, frames, dir.path(), 3);
    const Run nofs = peerBuild(stacked, {QStringLiteral("--speed"), QStringLiteral("1"), QStringLiteral("--nofs")},
                               frames, dir.path(), 3);
    std::printf("  %-46s %8.1f ms   PSNR %6.2f dB\n", "pngquant --speed 1 256 (stacked PNG)", peer.ms, peer.psnr);
    std::printf("  %-46s %8.1f ms   PSNR %6.2f dB\n", "pngquant --speed 1 --nofs 256", nofs.ms, nofs.psnr);
    std::printf("  refined takes %.2f of pngquant --speed 1's time (target <= 0.5), %+.2f dB against --nofs\n",
                ours.ms / peer.ms, ours.psnr - nofs.psnr);
}

void benchRefined()
{
    const QStringList keyed{QStringLiteral("--key"), QStringLiteral("255,0,255")};
    const SpriteSet sets[] = {
        {"walk 64 px, 1 x 10 frames", 64, 1, 10, 0},   {"walk 64 px, 2 x 5 frames", 64, 2, 5, 0},
        {"walk 64 px, 8 x 4 frames", 64, 8, 4, 0},     {"walk 96 px, 8 x 8 frames", 96, 8, 8, 0},
        {"walk 128 px, 4 x 16 frames", 128, 4, 16, 0}, {"grainy walk 96 px, 8 x 8 frames", 96, 8, 8, 3},
        {"walk 200 px, 1 x 12 frames", 200, 1, 12, 0},
    };
    for (const SpriteSet &set : sets)
        compareSet(set, keyed, false);
}

// A few hundred frames, as a unit's whole animation set is.
void benchRealSize()
{
    compareSet({"real size: walk 128 px, 8 x 32 frames", 128, 8, 32, 0},
               {QStringLiteral("--key"), QStringLiteral("255,0,255")}, true);
}

// ---- start-up -----------------------------------------------------------

/** Best times of several commands run in turn, `runs` rounds, so that a busy
 *  machine weighs on each of them alike; -1 for a command that failed. */
std::vector<double> bestInTurn(int runs, const std::vector<QStringList> &commands, const QString &log)
{
    std::vector<double> best(commands.size(), 1e300);
    for (int round = 0; round < runs; ++round) {
        for (size_t c = 0; c < commands.size(); ++c) {
            const double ms = kestrinbench::spawnMs(commands[c].front(), commands[c].mid(1), log);
            best[c] = ms < 0 || best[c] < 0 ? -1 : std::min(best[c], ms);
        }
    }
    return best;
}

void printInTurn(int runs, const std::vector<std::pair<const char *, QStringList>> &rows, const QString &log)
{
    std::vector<QStringList> commands;
    for (const auto &row : rows)
        commands.push_back(row.second);
    const std::vector<double> best = bestInTurn(runs, commands, log);
    for (size_t i = 0; i < rows.size(); ++i)
        std::printf("  %-52s %7.2f ms (best of %d, run in turn)\n", rows[i].first, best[i], runs);
}

void benchStartup()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    const QString ours = QStringLiteral(KESTRIN_ART), baseline = baselineArt(), peer = pngquantPath();
    std::printf("start-up, whole processes\n");
    std::vector<std::pair<const char *, QStringList>> rows{
        {"/bin/true (starting any process)", {QStringLiteral("/bin/true")}},
        {"kestrin-art --version", {ours, QStringLiteral("--version")}},
    };
    if (!baseline.isEmpty())
        rows.push_back({"  baseline kestrin-art --version", {baseline, QStringLiteral("--version")}});
    if (!peer.isEmpty())
        rows.push_back({"pngquant --version", {peer, QStringLiteral("--version")}});
    printInTurn(40, rows, log);

    const std::vector<QImage> frames = walkFrames(64, 1, 6, 0);
    const QString folder = dir.filePath(QStringLiteral("frames")), stacked = dir.filePath(QStringLiteral("all.png"));
    if (!writeSet(frames, 1, folder, stacked))
        return;
    const QStringList build{QStringLiteral("build"),
                            folder,
                            QStringLiteral("--pattern"),
                            QStringLiteral("camera%1_%2.png"),
                            QStringLiteral("-q"),
                            QStringLiteral("-o"),
                            dir.filePath(QStringLiteral("out.art"))};
    std::printf("6 frames of 64 x 64 (%llu colours)\n", static_cast<unsigned long long>(distinctColours(frames)));
    rows = {{"kestrin-art build", QStringList{ours} + build},
            {"kestrin-art build --key 255,0,255 --quantizer refined",
             QStringList{ours} + build
                 + QStringList{QStringLiteral("--key"), QStringLiteral("255,0,255"), QStringLiteral("--quantizer"),
                               QStringLiteral("refined")}}};
    if (!baseline.isEmpty())
        rows.push_back({"  baseline kestrin-art build", QStringList{baseline} + build});
    if (!peer.isEmpty())
        rows.push_back(
            {"pngquant --speed 1 256 (stacked PNG)",
             {peer, QStringLiteral("--speed"), QStringLiteral("1"), QStringLiteral("256"), QStringLiteral("--force"),
              QStringLiteral("--output"), dir.filePath(QStringLiteral("peer.png")), stacked}});
    printInTurn(20, rows, log);
}

// ---- flicker ------------------------------------------------------------

/** An animated gradient sprite on the key: a large body shaded with smooth
 *  gradients that stands still, and a shaded ball that swings across it. */
std::vector<QImage> swingFrames(int size, int count)
{
    std::vector<QImage> out;
    for (int f = 0; f < count; ++f) {
        QImage img(size, size, QImage::Format_ARGB32);
        img.fill(kKey);
        const double bx = size * (0.3 + 0.4 * (0.5 + 0.5 * std::sin(2 * 3.14159265 * f / count)));
        const double by = size * 0.35, br = size * 0.12;
        for (int y = 0; y < size; ++y) {
            auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < size; ++x) {
                const double u = double(x) / size, v = double(y) / size;
                const double dx = u - 0.5, dy = v - 0.55;
                if (dx * dx / 0.16 + dy * dy / 0.18 < 1) // the body: smooth diagonal and radial gradients
                    row[x] = qRgb(int(70 + 150 * u * (1 - 0.3 * v)), int(50 + 110 * v), int(150 - 80 * u + 40 * v));
                const double ex = (x - bx) / br, ey = (y - by) / br, e = ex * ex + ey * ey;
                if (e < 1) { // the ball, lit from the top left
                    const double light = 0.45 + 0.55 * std::sqrt(1 - e) * (0.7 - 0.15 * (ex + ey));
                    row[x] = qRgb(int(230 * light), int(200 * light), int(60 * light));
                }
            }
        }
        out.push_back(img);
    }
    return out;
}

struct Flicker {
    double psnr = 0;
    double smoothPsnr = 0; // after a 4 x 4 box blur of both: what is seen from a distance
    double flicker = 0;    // % of still pixels (same place and colour as in the last frame) whose index changed
};

double smoothedPsnr(const std::vector<QImage> &in, const std::vector<QImage> &out)
{
    double sum = 0;
    quint64 samples = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        for (int y = 0; y + 4 <= in[i].height(); y += 2) {
            for (int x = 0; x + 4 <= in[i].width(); x += 2) {
                double a[3] = {}, b[3] = {};
                bool content = true;
                for (int dy = 0; dy < 4 && content; ++dy) {
                    for (int dx = 0; dx < 4; ++dx) {
                        const QRgb p = in[i].pixel(x + dx, y + dy), q = out[i].pixel(x + dx, y + dy);
                        content = content && (p & 0xffffff) != (kKey & 0xffffff);
                        a[0] += qRed(p), a[1] += qGreen(p), a[2] += qBlue(p);
                        b[0] += qRed(q), b[1] += qGreen(q), b[2] += qBlue(q);
                    }
                }
                if (!content)
                    continue;
                for (int k = 0; k < 3; ++k)
                    sum += (a[k] - b[k]) * (a[k] - b[k]) / 256.0;
                samples += 3;
            }
        }
    }
    const double mse = samples ? sum / double(samples) : 0;
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

Flicker measureFlicker(const std::vector<QImage> &frames, GenerationSettings settings)
{
    Project project;
    kestrin::Stage *stage = project.appendStage();
    for (const QImage &img : frames) {
        kestrin::Frame *frame = stage->appendFrame();
        frame->sourceImage = img;
        frame->workImage = img;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (const kestrin::Failure f = kestrin::writeArt(buffer, project, settings)) {
        std::printf("  failed: %s\n", qPrintable(kestrin::describeFailure(f)));
        return {};
    }
    kestrin::ArtFile art;
    if (kestrin::parseArt(bytes, art))
        return {};
    std::vector<QImage> out;
    for (size_t i = 0; i < art.frames.size(); ++i)
        out.push_back(kestrin::frameImage(art, int(i), false));
    Flicker result;
    result.psnr = contentPsnr(frames, out);
    result.smoothPsnr = smoothedPsnr(frames, out);
    quint64 still = 0, changed = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const quint8 *a = art.frameIndices(int(i - 1)), *b = art.frameIndices(int(i));
        const int w = frames[i].width();
        for (int y = 0; y < frames[i].height(); ++y) {
            for (int x = 0; x < w; ++x) {
                const QRgb p = frames[i].pixel(x, y);
                if (p != frames[i - 1].pixel(x, y) || (p & 0xffffff) == (kKey & 0xffffff))
                    continue;
                ++still;
                changed += a[y * w + x] != b[y * w + x];
            }
        }
    }
    result.flicker = still ? 100.0 * double(changed) / double(still) : 0;
    return result;
}

void benchFlicker()
{
    const std::vector<QImage> frames = swingFrames(96, 24);
    std::printf("flicker: 24 frames of 96 x 96, a still body of smooth gradients and a ball swinging across it, "
                "keyed on magenta, refined palette\n");
    std::printf("  %-34s %10s %14s %10s\n", "", "PSNR", "4x4-blur PSNR", "flicker");
    for (const quint32 budget : {256u, 32u}) {
        for (const DitherKind dither : {DitherKind::None, DitherKind::Ordered, DitherKind::FloydSteinberg}) {
            GenerationSettings settings;
            settings.paletteCount = 1;
            settings.useKey = true;
            settings.keyColor = kKey & 0xffffff;
            settings.quantizer = QuantizerKind::Refined;
            settings.colorBudget = budget;
            settings.dither = dither;
            const Flicker f = measureFlicker(frames, settings);
            const char *name = dither == DitherKind::None ? "none"
                : dither == DitherKind::Ordered           ? "ordered"
                                                          : "floyd-steinberg";
            std::printf("  %3u colours, --dither %-17s %7.2f dB %11.2f dB %8.2f %%\n", budget, name, f.psnr,
                        f.smoothPsnr, f.flicker);
        }
    }
}

} // namespace

KESTRIN_BENCH("sprites/refined", benchRefined)
KESTRIN_BENCH("sprites/startup", benchStartup)
KESTRIN_BENCH("sprites/flicker", benchFlicker)
KESTRIN_BENCH("sprites/real-size", benchRealSize)
