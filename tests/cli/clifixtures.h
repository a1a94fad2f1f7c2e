#pragma once

// Frame folders made in code and runs of the kestrin-art executable.

#include "artfile/artformat.h"
#include "fixtures.h"
#include "generate/generation.h"
#include "wording/failuretext.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace clifixture {

using fixture::finish;
using Run = fixture::ProcessRun;

/** Runs kestrin-art with `arguments` and waits for it. Without `display`,
 *  the process gets no display, Wayland or Qt platform variables. */
inline Run run(const QStringList &arguments, bool display = true)
{
    QProcess process;
    if (!display) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            environment.remove(QLatin1String(name));
        process.setProcessEnvironment(environment);
    }
    process.setProgram(QStringLiteral(KESTRIN_ART));
    process.setArguments(arguments);
    process.start();
    return finish(process, 120000);
}

/** Stage s, frame f of the fixture folders: (4 + s) x (3 + f) pixels, so a
 *  frame's size tells which file it came from. A flat background with a
 *  block of content placed off-centre (trimming moves the centre), coloured
 *  by its stage and frame, and one stray pixel of a near colour. */
inline QImage frame(int s, int f)
{
    const int width = 4 + s;
    const int height = 3 + f;
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(qRgb(170, 170, 127));
    for (int y = 1; y < height; ++y) {
        for (int x = width / 2; x < width; ++x)
            image.setPixel(x, y, qRgb(20 * s, 30 * f + 10, (x * 40 + y * 7) & 0xff));
    }
    image.setPixel(1, height - 1, qRgb(171, 170, 127));
    return image;
}

/** Writes frame(s, f) for every listed stage number s and frame numbers
 *  0 .. frames(s) - 1 into `dir`, named by `pattern` with widths 2 and 4. */
inline bool writeFrames(const QString &dir, const QString &pattern, const QList<int> &stages,
                        const std::function<int(int)> &frames)
{
    if (!QDir().mkpath(dir))
        return false;
    for (int s : stages) {
        for (int f = 0; f < frames(s); ++f) {
            const QString name = pattern.arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
            if (!frame(s, f).save(dir + QLatin1Char('/') + name))
                return false;
        }
    }
    return true;
}

/** A rotatable sprite of 8 directions x 2 frames: frame (d, f) is
 *  (3 + d) x (2 + f), cut from a source twice its size at left d, top f;
 *  frame (7, 1) has no pixels. Written with 2 palettes, rate 5, hit frame 1. */
inline bool writeRotatableSprite(const QString &path)
{
    kestrin::Project project;
    for (int d = 0; d < 8; ++d) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < 2; ++f) {
            kestrin::Frame *frame = stage->appendFrame();
            if (d == 7 && f == 1)
                continue;
            QImage image(3 + d, 2 + f, QImage::Format_ARGB32);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    image.setPixel(x, y, qRgb(30 * d, 100 * f + 20 * y, 40 * x));
            frame->sourceImage = QImage(2 * image.width(), 2 * image.height(), QImage::Format_ARGB32);
            frame->workImage = image;
            frame->boundRect = {d, f, d + image.width(), f + image.height()};
        }
    }
    kestrin::GenerationSettings settings;
    settings.rotatable = 1;
    settings.paletteCount = 2;
    settings.frameRate = 5;
    settings.hitFrame = 1;
    const kestrin::GenerationOutcome outcome = kestrin::runGeneration(project, settings, path, nullptr);
    if (!outcome.ok())
        qWarning() << kestrin::describeFailure(outcome.failure);
    return outcome.ok();
}

using fixture::field;
using fixture::readAll;
using fixture::writeAll;

} // namespace clifixture
