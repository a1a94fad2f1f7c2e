// Apply over a full rotatable project: 8 stages × 32 frames of 256 × 256.
#include "benchharness.h"

#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"

#include <QRandomGenerator>

namespace {

constexpr int kStages = 8;
constexpr int kFrames = 32;
constexpr int kSide = 256;

/** A frame of key-coloured background around a noisy blob whose size varies
 *  by frame; `edgeToEdge` makes the content reach every border instead. */
QImage makeFrame(int index, bool edgeToEdge, QRandomGenerator &random)
{
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(0xFFAAAA7Fu);
    const int margin = edgeToEdge ? 0 : 20 + index % 40;
    for (int y = margin; y < kSide - margin; ++y) {
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = margin; x < kSide - margin; ++x)
            row[x] = 0xFF000000u | (random.generate() & 0x00FFFFFFu);
    }
    return image;
}

kestrin::Project makeProject(bool edgeToEdge)
{
    QRandomGenerator random(7);
    kestrin::Project project;
    for (int s = 0; s < kStages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < kFrames; ++f) {
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = makeFrame(f, edgeToEdge, random);
            frame->workImage = frame->sourceImage;
        }
    }
    return project;
}

void reportApply(const char *what, bool edgeToEdge, bool trim)
{
    kestrin::Project project = makeProject(edgeToEdge);
    const quint32 key = kestrin::keyColor(170, 170, 127);
    const double ms = kestrinbench::bestMs(5, [&] {
        (void)kestrin::applyBoundRect(project, trim);
        (void)kestrin::applyTransparency(project, true, key);
    });
    std::printf("  Apply, %s, %d x %d frames of %d x %d: %.1f ms (best of 5)\n", what, kStages, kFrames, kSide,
                kSide, ms);
}

void benchApply()
{
    reportApply("trim + key, content inside a margin", false, true);
    reportApply("trim + key, content edge to edge", true, true);
    reportApply("no trim + key", true, false);
}

} // namespace

KESTRIN_BENCH("frameutil apply", benchApply)
