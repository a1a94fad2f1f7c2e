// Loading a folder: how the time splits between finding the files (probing
// names) and decoding the images, for 8 stages x 32 frames of 128 x 128 BMPs.
#include "benchharness.h"

#include "project/folderloader.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

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
        if (!kestrin::loadFolder(project, pattern))
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

} // namespace

KESTRIN_BENCH("load: probe vs decode, 8 x 32 frames of 128 x 128", benchLoad)
