// Loading a folder: how the time splits between finding the files (probing
// names) and decoding the images, for 8 stages x 32 frames of 128 x 128 BMPs;
// and the rendered set of the generate benchmark saved as PNG, decoded on one
// thread and on every core, and turned into a file by the whole
// `kestrin-art build` process.
#include "benchharness.h"
#include "benchsets.h"

#include "project/folderloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifndef KESTRIN_ART
#define KESTRIN_ART "kestrin-art" // found on PATH
#endif

namespace {

using kestrin::FolderPattern;
using kestrinbench::bestMs;

constexpr int kStages = 8;
constexpr int kFrames = 32;
constexpr int kSide = 128;

bool writeFrames(const QString &folder)
{
    for (int s = 1; s <= kStages; ++s) {
        for (int f = 0; f < kFrames; ++f) {
            QImage image(kSide, kSide, QImage::Format_RGB32);
            image.fill(qRgb(40, 120, 200));
            QPainter painter(&image);
            painter.fillRect(20 + f, 30 + s * 4, 50, 60, QColor(200 - s * 10, 80 + f * 3, 30));
            painter.end();
            const QString name = QStringLiteral("camera%1_%2.bmp")
                                     .arg(s, 2, 10, QLatin1Char('0'))
                                     .arg(f, 4, 10, QLatin1Char('0'));
            if (!image.save(folder + name, "BMP"))
                return false;
        }
    }
    return true;
}

void report(const char *what, const FolderPattern &pattern)
{
    int frames = 0;
    const double scanMs = bestMs(5, [&] {
        const kestrin::FolderScan scan = kestrin::scanFolder(pattern);
        frames = 0;
        for (const auto &stage : scan.stages)
            frames += static_cast<int>(stage.framePaths.size());
    });
    const double loadMs = bestMs(5, [&] {
        kestrin::Project project;
        if (kestrin::loadFolder(project, pattern))
            std::printf("load failed\n");
    });
    std::printf("%-34s %4d frames  probe %8.2f ms  total load %8.2f ms  (probing %4.1f%% of the load)\n", what,
                frames, scanMs, loadMs, 100.0 * scanMs / loadMs);
}

void benchLoad()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    if (!dir.isValid() || !writeFrames(folder)) {
        std::printf("cannot write the frames\n");
        return;
    }
    FolderPattern pattern;
    pattern.folder = folder;
    report("default ranges", pattern);

    FolderPattern huge = pattern;
    huge.stageMax = 4294967295u; // "-1" typed into Stage Max and Frame Max
    huge.frameMax = 4294967295u;
    report("Stage Max and Frame Max \"-1\"", huge);

    // Opening the file of every number, as a loader without the listing
    // shortcut would: 98 stage probes plus 9,999 per present stage.
    const double eachMs = bestMs(3, [&] { (void)kestrin::scanFolder(pattern, kestrin::ScanMethod::ProbeEach); });
    std::printf("%-34s probe %8.2f ms\n", "default ranges, opening every name", eachMs);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double msOf(const std::function<void()> &fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    return timer.nsecsElapsed() / 1e6;
}

/** One `kestrin-art build` of `folder` into `target`, or -1 when it fails. */
double buildMs(const QString &program, const QString &folder, const QString &target, bool trim)
{
    QStringList arguments{QStringLiteral("build"), folder, QStringLiteral("-o"), target,
                          QStringLiteral("--pattern"), QStringLiteral("camera%1_%2.png"), QStringLiteral("--quiet")};
    if (trim)
        arguments << QStringLiteral("--trim");
    QProcess process;
    bool ok = false;
    const double ms = msOf([&] {
        process.start(program, arguments);
        ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    });
    return ok ? ms : -1;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The whole process, as a user waits for it: start-up, scan, decoding, colour
// reduction, mapping and writing. With KESTRIN_BENCH_BASELINE_ART naming
// another kestrin-art (an older build), both run in turn and must write the
// same bytes.
void reportBuild(const QString &folder, const QString &scratch, bool trim)
{
    const QString ours = QStringLiteral(KESTRIN_ART);
    const QString baseline = qEnvironmentVariable("KESTRIN_BENCH_BASELINE_ART");
    const QString ourTarget = scratch + QStringLiteral("/ours.art");
    const QString baseTarget = scratch + QStringLiteral("/baseline.art");
    std::vector<double> ourMs, baseMs;
    for (int run = 0; run < 7; ++run) {
        if (!baseline.isEmpty())
            baseMs.push_back(buildMs(baseline, folder, baseTarget, trim));
        ourMs.push_back(buildMs(ours, folder, ourTarget, trim));
    }
    const char *what = trim ? "kestrin-art build --trim" : "kestrin-art build";
    if (*std::min_element(ourMs.begin(), ourMs.end()) < 0) {
        std::printf("  %s failed\n", what);
        return;
    }
    if (baseline.isEmpty()) {
        std::printf("  %-26s %7.1f ms  (median of 7; set KESTRIN_BENCH_BASELINE_ART to compare)\n", what,
                    median(ourMs));
        return;
    }
    const bool same = contentOf(ourTarget) == contentOf(baseTarget) && !contentOf(ourTarget).isEmpty();
    std::printf("  %-26s baseline %7.1f ms  ours %7.1f ms  ratio %.2f  (medians of 7 alternating runs; same "
                "file: %s)\n",
                what, median(baseMs), median(ourMs), median(ourMs) / median(baseMs), same ? "yes" : "NO");
}

void benchPngLoad()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/frames/");
    kestrin::Project rendered;
    kestrinbench::makeRendered(rendered, 8, 32, 256);
    bool written = dir.isValid() && QDir().mkpath(folder);
    for (quint32 s = 0; s < rendered.stageCount && written; ++s) {
        for (quint32 f = 0; f < rendered.stages[s]->frameCount && written; ++f) {
            const QString name = QStringLiteral("camera%1_%2.png")
                                     .arg(s + 1, 2, 10, QLatin1Char('0'))
                                     .arg(f, 4, 10, QLatin1Char('0'));
            written = rendered.stages[s]->frames[f]->sourceImage.save(folder + name, "PNG");
        }
    }
    rendered.clear();
    if (!written) {
        std::printf("cannot write the frames\n");
        return;
    }
    FolderPattern pattern;
    pattern.folder = folder;
    pattern.pattern = QStringLiteral("camera%1_%2.png");
    // The window's Load: scan, memory check and decoding, 1 thread and all.
    const int all = kestrin::decodingThreads(0);
    std::vector<double> oneMs, allMs;
    for (int run = 0; run < 5; ++run) {
        for (int threads : {1, all}) {
            kestrin::Project project;
            kestrin::LoadOptions options;
            options.threads = threads;
            const double ms = msOf([&] {
                if (kestrin::loadFolder(project, pattern, options))
                    std::printf("load failed\n");
            });
            (threads == 1 ? oneMs : allMs).push_back(ms);
        }
    }
    std::printf("  load (window's Load)       1 thread %7.1f ms  %d threads %7.1f ms  ratio %.2f  (medians of 5)\n",
                median(oneMs), all, median(allMs), median(allMs) / median(oneMs));
    reportBuild(folder, dir.path(), false);
    reportBuild(folder, dir.path(), true);
}

} // namespace

KESTRIN_BENCH("load: probe vs decode, 8 x 32 frames of 128 x 128", benchLoad)
KESTRIN_BENCH("load/png: 8 x 32 rendered frames of 256 x 256 as PNG", benchPngLoad)
