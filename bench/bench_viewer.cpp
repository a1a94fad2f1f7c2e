// The sprite viewer and Preview, driven through the real window: opening an
// 8 x 32-frame sprite of 256 x 256 until its first frame is painted, playing
// it at 60 frames per second at 4x zoom (frames the screen missed), and
// Preview (generation into memory on a worker thread, then the viewer)
// against Start (generation into the target file) on the same project.
#include "benchharness.h"
#include "benchsets.h"

#include "app/mainwindow.h"
#include "app/spritecanvas.h"
#include "app/spriteviewer.h"

#include "artfile/artreader.h"
#include "generate/generation.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kStages = 8;
constexpr int kFrames = 32;
constexpr int kSize = 256;

/** Counts and times the paints of sprite canvases, from the application's
 *  event filter: a viewer may paint before the caller gets hold of it. */
class PaintCounter : public QObject
{
public:
    PaintCounter() { qApp->installEventFilter(this); }
    std::vector<qint64> times; // ms since `clock` started, one per paint
    QElapsedTimer clock;
    QEventLoop *waiting = nullptr; // quit at the next paint

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<SpriteCanvas *>(object)) {
            times.push_back(clock.isValid() ? clock.elapsed() : 0);
            if (waiting)
                waiting->quit();
        }
        return false;
    }
};

/** Runs the event loop (without spinning: the worker threads need the
 *  cores) until `paints` sees a paint or `ms` pass; false on time-out. */
bool waitForPaint(PaintCounter &paints, int ms)
{
    if (!paints.times.empty())
        return true;
    QEventLoop loop;
    paints.waiting = &loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    paints.waiting = nullptr;
    return !paints.times.empty();
}

/** Runs the event loop for `ms`. */
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/** Closes every message box as soon as it shows; `shownAt` gets the time of the last. */
class BoxCloser : public QObject
{
public:
    explicit BoxCloser(const QElapsedTimer &clock) : m_clock(clock)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shownAt = m_clock.elapsed();
                text = box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(1);
    }
    qint64 shownAt = -1;
    QString text;

private:
    const QElapsedTimer &m_clock;
    QTimer m_timer;
};

SpriteViewer *newestViewer(MainWindow &w, int before)
{
    const QList<SpriteViewer *> viewers = w.findChildren<SpriteViewer *>();
    return viewers.size() > before ? viewers.last() : nullptr;
}

void benchViewer()
{
    QTemporaryDir dir;
    {
        kestrin::Project project;
        kestrinbench::makeSprites(project, kStages, kFrames, kSize);
        for (int s = 0; s < kStages; ++s) {
            for (int f = 0; f < kFrames; ++f) {
                const QString name = QStringLiteral("camera%1_%2.bmp")
                                         .arg(s + 1, 2, 10, QLatin1Char('0'))
                                         .arg(f, 4, 10, QLatin1Char('0'));
                project.stages[size_t(s)]->frames[size_t(f)]->workImage.save(dir.filePath(name), "BMP");
            }
        }
    }
    MainWindow w;
    w.show();
    const auto edit
        = [&](const char *name, const QString &text) { w.findChild<QLineEdit *>(QLatin1String(name))->setText(text); };
    edit("leSourceFolder", dir.path() + QLatin1Char('/'));
    edit("leStageMax", QStringLiteral("9"));
    edit("leFrameMax", QString::number(kFrames));
    w.findChild<QPushButton *>(QStringLiteral("pbStageLoad"))->click();
    w.findChild<QRadioButton *>(QStringLiteral("rbRotatable"))->click();
    w.findChild<QSpinBox *>(QStringLiteral("sbFrameRate"))->setValue(60);
    const QString target = dir.filePath(QStringLiteral("bench.art"));
    edit("leTargetFile", target);

    // Start: from the click until its box shows (the run is synchronous).
    QElapsedTimer clock;
    double startMs = 1e300, previewMs = 1e300;
    for (int run = 0; run < 2; ++run) {
        clock.start();
        BoxCloser closer(clock);
        w.findChild<QPushButton *>(QStringLiteral("pbStart"))->click();
        startMs = std::min(startMs, double(closer.shownAt));
        std::printf("  Start run %d: %lld ms\n", run + 1, closer.shownAt);
        std::fflush(stdout);
        if (closer.text != QLatin1String("Generation successful!")) {
            std::printf("Start failed: %s\n", qPrintable(closer.text));
            return;
        }
    }
    // Preview: from the action until the viewer has painted its first frame.
    for (int run = 0; run < 2; ++run) {
        const int before = int(w.findChildren<SpriteViewer *>().size());
        PaintCounter paints;
        clock.start();
        w.findChild<QAction *>(QStringLiteral("actionPreview"))->trigger();
        if (!waitForPaint(paints, 300000)) {
            std::printf("Preview did not show\n");
            return;
        }
        previewMs = std::min(previewMs, double(clock.elapsed()));
        std::printf("  Preview run %d: %lld ms\n", run + 1, clock.elapsed());
        if (SpriteViewer *viewer = newestViewer(w, before))
            viewer->close();
    }
    // The same two generations without the window, and what Preview adds.
    {
        kestrin::Project project;
        kestrinbench::makeSprites(project, kStages, kFrames, kSize);
        kestrin::GenerationSettings settings;
        settings.rotatable = 1;
        settings.frameRate = 60;
        QByteArray bytes;
        const double fileMs = kestrinbench::bestMs(
            2, [&] { (void)kestrin::runGeneration(project, settings, dir.filePath(QStringLiteral("core.art")), {}); });
        const double memoryMs = kestrinbench::bestMs(2, [&] {
            bytes.clear();
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            kestrin::DeviceSink sink(buffer);
            (void)kestrin::runGeneration(project, settings, sink, {});
        });
        kestrin::ArtFile art;
        const double parseMs = kestrinbench::bestMs(3, [&] { (void)kestrin::parseArt(bytes, art); });
        const double viewerMs = kestrinbench::bestMs(3, [&] { SpriteViewer(art, QStringLiteral("Preview")); });
        std::printf(
            "runGeneration into a file %.1f ms, into memory %.1f ms; parseArt %.1f ms; a viewer built %.1f ms\n",
            fileMs, memoryMs, parseMs, viewerMs);
    }
    std::printf("Start (generation into the file)   %8.1f ms\n", startMs);
    std::printf("Preview (into memory, then viewer) %8.1f ms  (%.1f %% of Start; target <= 110 %%)\n", previewMs,
                100.0 * previewMs / startMs);

    // Opening the file Start wrote, until its first frame is painted.
    double openMs = 1e300;
    SpriteViewer *viewer = nullptr;
    auto paints = std::make_unique<PaintCounter>();
    for (int run = 0; run < 3; ++run) {
        if (viewer)
            viewer->close();
        paints->times.clear();
        clock.start();
        viewer = w.openSprite(target);
        waitForPaint(*paints, 10000);
        openMs = std::min(openMs, double(clock.elapsed()));
    }
    std::printf("open %d x %d frames of %d x %d, first frame painted: %.1f ms (target <= 300 ms)\n", kStages, kFrames,
                kSize, kSize, openMs);

    // Playback at the file's 60 frames per second, 4x zoom, for 5 seconds:
    // each 1/60 s slot without a painted frame is a dropped frame.
    viewer->setZoom(4);
    viewer->resize(1200, 900);
    runFor(200);
    paints->times.clear();
    paints->clock.start();
    viewer->play();
    const int seconds = 5;
    runFor(seconds * 1000);
    viewer->pause();
    std::vector<bool> slot(size_t(seconds * 60), false);
    for (qint64 t : paints->times) {
        if (t < seconds * 1000)
            slot[size_t(t * 60 / 1000)] = true;
    }
    const long shown = long(std::count(slot.begin(), slot.end(), true));
    std::printf("play at 60 fps, 4x zoom, %d s: %ld of %d frames painted, %.2f dropped per second (target <= 1)\n",
                seconds, shown, seconds * 60, double(seconds * 60 - shown) / seconds);

    // What one paint of the visible part costs at 4x, without the event loop.
    auto *canvas = viewer->findChild<SpriteCanvas *>();
    const double paintMs = kestrinbench::bestMs(3,
                                                [&] {
                                                    for (int i = 0; i < 60; ++i) {
                                                        viewer->step(1);
                                                        canvas->repaint();
                                                    }
                                                })
        / 60;
    std::printf("one step and paint at 4x zoom (%d x %d visible): %.2f ms\n",
                canvas->visibleRegion().boundingRect().width(), canvas->visibleRegion().boundingRect().height(),
                paintMs);
    viewer->close();
}

} // namespace

KESTRIN_BENCH("viewer: open, play and Preview an 8 x 32-frame sprite of 256 x 256", benchViewer)
