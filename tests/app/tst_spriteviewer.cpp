// The sprite viewer: what it draws for each file pixel, how playback steps
// on its clock and the keys, and the line that describes the frame.
#include "testmain.h"

#include "app/playbackclock.h"
#include "app/spritecanvas.h"
#include "app/spriteviewer.h"
#include "artfile/artreader.h"
#include "fixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

/** A clock the test moves by hand. */
class ManualClock : public PlaybackClock
{
public:
    void start(int intervalMs) override
    {
        interval = intervalMs;
        running = true;
        now = 0;
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    qint64 elapsedMs() const override { return now; }
    /** Lets `ms` pass and ticks. */
    void tick(qint64 ms)
    {
        now += ms;
        emit ticked();
    }

    int interval = 0;
    bool running = false;
    qint64 now = 0;
};

/** `stages` x `frames` frames of different sizes and many colours, whose
 *  top-left pixels share one colour (so index 0 is a real part of them). */
kestrin::ArtFile sprite(int stages, int frames, const kestrin::GenerationSettings &settings)
{
    kestrin::Project project;
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f) {
            fixture::addFrame(stage, fixture::image(5 + f, 4 + s % 3, [=](int x, int y) {
                                  return (x + y) % 4 == 0 ? fixture::bgr(0, 0, 0)
                                                          : fixture::bgr(x * 40, y * 50, s * 30 + f * 20);
                              }));
        }
    }
    kestrin::ArtFile art;
    QString error;
    if (!fixture::succeeded(kestrin::parseArt(fixture::artBytes(project, settings), art), error))
        qWarning("%s", qPrintable(error));
    return art;
}

kestrin::GenerationSettings rotatable(int rate = 12, int hitFrame = 0)
{
    kestrin::GenerationSettings settings;
    settings.rotatable = 1;
    settings.frameRate = rate;
    settings.hitFrame = hitFrame;
    return settings;
}

} // namespace

class SpriteViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void everyScreenPixelIsItsPaletteColour_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QColor>("background"); // invalid: the checkerboard
        QTest::addColumn<int>("ratio");         // device pixels per device-independent pixel
        QTest::newRow("zoom 1 on a colour") << 1 << QColor(12, 200, 99) << 1;
        QTest::newRow("zoom 3 on a colour") << 3 << QColor(Qt::magenta) << 1;
        QTest::newRow("zoom 3 on the checkerboard") << 3 << QColor() << 1;
        QTest::newRow("zoom 3 on the checkerboard, HiDPI") << 3 << QColor() << 2;
    }

    void everyScreenPixelIsItsPaletteColour()
    {
        QFETCH(int, zoom);
        QFETCH(QColor, background);
        QFETCH(int, ratio);
        auto *viewer = new SpriteViewer(sprite(8, 3, rotatable()), QStringLiteral("walk.art"));
        QScopedPointer<SpriteViewer> owner(viewer);
        viewer->setZoom(zoom);
        viewer->setBackgroundColor(background);
        viewer->setDirection(2);
        viewer->step(2);
        auto *canvas = viewer->findChild<SpriteCanvas *>();
        QVERIFY(canvas);
        // Painted as on a screen of `ratio` device pixels per pixel.
        QImage shown(canvas->size() * ratio, QImage::Format_RGB32);
        shown.setDevicePixelRatio(ratio);
        shown.fill(Qt::black);
        canvas->render(&shown);

        const kestrin::ArtFile &art = viewer->art();
        const int index = 2 * int(art.framesPerDirection) + 2;
        const kestrin::ArtFrame &frame = art.frames[size_t(index)];
        const quint8 *indices = art.frameIndices(index);
        const QPoint origin = canvas->frameOrigin();
        int transparent = 0;
        const int side = zoom * ratio; // device pixels of one file pixel
        for (int y = 0; y < frame.height * side; ++y) {
            for (int x = 0; x < frame.width * side; ++x) {
                const QPoint at = origin * ratio + QPoint(x, y);
                const quint8 i = indices[(y / side) * frame.width + x / side];
                QRgb expected = art.color(i);
                if (i == 0) {
                    ++transparent;
                    const int square = SpriteCanvas::kCheckerSize * ratio;
                    const bool dark = (at.x() / square + at.y() / square) % 2;
                    expected = background.isValid() ? background.rgb()
                                                    : (dark ? SpriteCanvas::kCheckerDark : SpriteCanvas::kCheckerLight);
                }
                if (shown.pixel(at) != expected)
                    QFAIL(qPrintable(QStringLiteral("screen pixel %1,%2 (index %3) is %4, not %5")
                                         .arg(at.x())
                                         .arg(at.y())
                                         .arg(i)
                                         .arg(shown.pixel(at), 8, 16)
                                         .arg(expected, 8, 16)));
            }
        }
        QVERIFY(transparent > 0);
        QCOMPARE(canvas->size(), canvas->sizeHint());
    }

    void playbackStepsOnItsClock_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("frameMs"); // how long a frame shows
        QTest::addColumn<QString>("rateText");
        QTest::newRow("file rate") << 12 << 83 << 84 << QStringLiteral("12 fps");
        QTest::newRow("rate 0") << 0 << 100 << 100 << QStringLiteral("rate 0 in the file: playing at 10 fps");
    }

    void playbackStepsOnItsClock()
    {
        QFETCH(int, rate);
        QFETCH(int, interval);
        QFETCH(int, frameMs);
        QFETCH(QString, rateText);
        kestrin::ArtFile art = sprite(8, 3, rotatable(5));
        // The writer never stores 0; other writers may.
        kestrin::art::put32le(reinterpret_cast<quint8 *>(art.bytes.data()) + kestrin::art::kRateOffset, quint32(rate));
        art.rate = rate;
        auto *clock = new ManualClock;
        SpriteViewer viewer(art, QStringLiteral("walk.art"), nullptr, clock);
        QVERIFY(viewer.windowTitle().contains(QStringLiteral("walk.art")));
        QCOMPARE(viewer.findChild<QLabel *>(QStringLiteral("rate"))->text(), rateText);

        viewer.play();
        QVERIFY(clock->running);
        QCOMPARE(clock->interval, interval);
        QCOMPARE(viewer.findChild<QPushButton *>(QStringLiteral("play"))->isChecked(), true);
        clock->tick(frameMs - 2);
        QCOMPARE(viewer.frame(), 0); // not yet due
        clock->tick(2);
        QCOMPARE(viewer.frame(), 1);
        clock->tick(frameMs * 3); // a late tick skips the frames it missed, looping within the direction
        QCOMPARE(viewer.frame(), 1);
        clock->tick(frameMs);
        QCOMPARE(viewer.frame(), 2);
        QCOMPARE(viewer.direction(), 0);
        viewer.pause();
        viewer.play(); // playing on starts from the frame shown
        clock->tick(frameMs);
        QCOMPARE(viewer.frame(), 0);
        viewer.setDirection(-1); // wraps to the last direction
        QCOMPARE(viewer.direction(), 7);
        viewer.pause();
        QVERIFY(!clock->running);
    }

    void keysAndTheInfoLine()
    {
        auto *clock = new ManualClock;
        SpriteViewer viewer(sprite(8, 4, rotatable(12, 2)), QStringLiteral("walk.art"), nullptr, clock);
        viewer.show();
        viewer.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&viewer));
        auto *info = viewer.findChild<QLabel *>(QStringLiteral("frameInfo"));
        auto *hit = viewer.findChild<QLabel *>(QStringLiteral("hitFrame"));
        QCOMPARE(info->accessibleName(), QStringLiteral("Frame info"));
        QCOMPARE(info->text(), QStringLiteral("direction 1 of 8, frame 1 of 4, 5 x 4, centre 2,2"));

        QTest::keyClick(&viewer, Qt::Key_Space);
        QVERIFY(clock->running);
        QTest::keyClick(&viewer, Qt::Key_Space);
        QVERIFY(!clock->running);
        QTest::keyClick(&viewer, Qt::Key_Up);
        QTest::keyClick(&viewer, Qt::Key_Right);
        QTest::keyClick(&viewer, Qt::Key_Right);
        QCOMPARE(info->text(), QStringLiteral("direction 2 of 8, frame 3 of 4, 7 x 5, centre 3,2"));
        QCOMPARE(info->accessibleDescription(), info->text());
        QVERIFY(!hit->text().isEmpty()); // the hit frame is frame 3 (index 2)
        clock->running = true;
        QTest::keyClick(&viewer, Qt::Key_Left); // stepping pauses
        QVERIFY(!clock->running);
        QCOMPARE(viewer.frame(), 1);
        QVERIFY(hit->text().isEmpty());
        QTest::keyClick(&viewer, Qt::Key_Down);
        QTest::keyClick(&viewer, Qt::Key_Down);
        QCOMPARE(viewer.direction(), 7);

        auto *palette = viewer.findChild<QSpinBox *>(QStringLiteral("palette"));
        QCOMPARE(palette->maximum(), int(viewer.art().paletteCount));
        palette->setValue(palette->maximum());
        QCOMPARE(viewer.paletteCopy(), palette->maximum() - 1);

        QStringList names;
        for (QWidget *w : viewer.findChildren<QWidget *>())
            names << w->accessibleName();
        for (const char *name : {"Play", "Zoom", "Direction", "Palette", "Background", "Centre"})
            QVERIFY2(names.contains(QLatin1String(name)), name);
    }

    // The next viewer starts with the zoom and background chosen last.
    void zoomAndBackgroundAreRemembered()
    {
        {
            SpriteViewer viewer(sprite(1, 2, {}), QStringLiteral("a.art"));
            viewer.setZoom(5);
            viewer.setBackgroundColor(QColor(255, 0, 255));
        }
        SpriteViewer viewer(sprite(1, 2, {}), QStringLiteral("b.art"));
        QCOMPARE(viewer.zoom(), 5);
        QCOMPARE(viewer.findChild<SpriteCanvas *>(QStringLiteral("canvas"))->background(), QColor(255, 0, 255));
        viewer.setBackgroundColor(QColor());
        viewer.setZoom(1);
    }
};

KESTRIN_TEST(SpriteViewerTest)
#include "tst_spriteviewer.moc"
