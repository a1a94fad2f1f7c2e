// Start in the window: the real button, the boxes it opens (answered from a
// timer), the order of checks and the progress texts and values.
#include "inspector.h"
#include "testmain.h"

#include "fixtures.h"
#include "referenceart.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool parentedToWindow = false;
    QString progressText; // lblProgress while the box is open
    int progressValue = -1; // pbTotal while the box is open
};

// Answers every message box that opens with Ok, recording what it showed.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer(MainWindow &w)
        : window(w)
    {
        connect(&timer, &QTimer::timeout, this, [this] { answer(); });
        timer.start(5);
    }
    QList<SeenBox> boxes;

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        MainWindowForm &f = MainWindowInspector::form(window);
        boxes.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parent() == &window,
                      f.lblProgress->text(), f.pbTotal->value()});
        box->button(QMessageBox::Ok)->click();
    }
    MainWindow &window;
    QTimer timer;
};

void fill(kestrin::Project &project, int stages, int frames)
{
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f) {
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = fixture::flat(6 + f, 5, qRgb(10 * s, 30 * f, 200));
            frame->workImage = frame->sourceImage;
        }
    }
}

} // namespace

class GenerateTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Clicks Start and returns the boxes shown and the (text, value) pairs
    // the progress widgets went through (the text as the value changed).
    QList<SeenBox> start(MainWindow &w, QList<QPair<QString, int>> *steps = nullptr)
    {
        MainWindowForm &f = MainWindowInspector::form(w);
        f.pbTotal->setValue(7); // so that a step to 0 shows as a change
        QList<QPair<QString, int>> seen;
        const auto connection = connect(f.pbTotal, &QProgressBar::valueChanged, this,
                                        [&](int value) { seen.append({f.lblProgress->text(), value}); });
        BoxAnswerer answerer(w);
        QTest::mouseClick(f.pbStart, Qt::LeftButton);
        disconnect(connection);
        if (steps)
            *steps = seen;
        return answerer.boxes;
    }

private slots:
    void successfulRun()
    {
        MainWindow w;
        w.show();
        MainWindowForm &f = MainWindowInspector::form(w);
        fill(MainWindowInspector::project(w), 8, 2);
        f.rbRotatable->click();
        f.sbPaletteCount->setValue(2);
        f.sbFrameRate->setValue(12);
        f.sbHitFrame->setValue(1);
        // Every character of the path reaches the file system, not only Latin-1.
        const QString name = QStringLiteral("wälk ☃ 步.art");
        const QString target = dir.filePath(name);
        f.leTargetFile->setText(target);

        QList<QPair<QString, int>> steps;
        const QList<SeenBox> boxes = start(w, &steps);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Success..."));
        QCOMPARE(boxes[0].text, QStringLiteral("Generation successful!"));
        QCOMPARE(boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(boxes[0].parentedToWindow);
        QCOMPARE(boxes[0].progressText, QStringLiteral("Generation completed..."));
        QCOMPARE(boxes[0].progressValue, 100);
        const QList<QPair<QString, int>> expected{
            {"Preparing generator...", 0}, {"Reducing colors...", 20}, {"Fixing color indices...", 40},
            {"Generating Art...", 60},     {"Cleaning up...", 80},     {"Generation completed...", 100}};
        QCOMPARE(steps, expected);

        kestrin::GenerationSettings settings;
        settings.rotatable = 1;
        settings.paletteCount = 2;
        settings.frameRate = 12;
        settings.hitFrame = 1;
        const QByteArray reference = kestrinref::referenceArtFile(MainWindowInspector::project(w), settings);
        QVERIFY(!reference.isEmpty());
        QCOMPARE(fixture::readAll(target), reference);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).contains(name));
        QCOMPARE(MainWindowInspector::project(w).stageCount, 8u); // the project is only read
    }

    void noStages()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        f.leTargetFile->setText(dir.filePath(QStringLiteral("none.art")));
        QList<QPair<QString, int>> steps;
        const QList<SeenBox> boxes = start(w, &steps);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Failed..."));
        QCOMPARE(boxes[0].text, QStringLiteral("Generation failed!"));
        QCOMPARE(boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes[0].progressText, QStringLiteral("No stages found..."));
        QCOMPARE(boxes[0].progressValue, 7);
        QVERIFY(steps.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.art"))));
    }

    // Each failing check shows its "Generator Error" warning, then "Failed...".
    void failingChecks_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("lastFrames");
        QTest::addColumn<bool>("rotatable");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("progressText");
        QTest::addColumn<int>("progressValue");
        QTest::newRow("7 rotatable stages") << 7 << 2 << true << "missing/x.art"
                                            << "Number of stages must be 8 for rotatable Art.\n\nAborting generation..."
                                            << "" << 7;
        QTest::newRow("target first, frame counts differ too")
            << 2 << 1 << false << "missing/x.art" << "Cannot create output file \"%1\"\n\nAborting generation..." << ""
            << 7;
        QTest::newRow("4, 4, 3 frames") << 3 << 3 << false << "kept.art"
                                        << "Number of frames differ in stage 2:\n-Expected 4 frames.\n-Found 3 frames."
                                           "\n\nAborting generation..."
                                        << "Preparing generator..." << 0;
        QTest::newRow("4, 5 frames") << 2 << 5 << false << "kept.art"
                                     << "Number of frames differ in stage 1:\n-Expected 4 frames.\n-Found 5 frames."
                                        "\n\nAborting generation..."
                                     << "Preparing generator..." << 0;
        QTest::newRow("empty target") << 1 << 4 << false << ""
                                      << "Cannot create output file \"\"\n\nAborting generation..." << "" << 7;
        // 257 frames of 4096 x 4096 (one shared image) need more than 4 GiB.
        QTest::newRow("file beyond the format")
            << 0 << 257 << false << "huge.art"
            << "The Art file would be too large: 4311755936 bytes (at most 4294967295).\n\nAborting generation..."
            << "Preparing generator..." << 0;
    }
    void failingChecks()
    {
        QFETCH(int, stages);
        QFETCH(int, lastFrames);
        QFETCH(bool, rotatable);
        QFETCH(QString, target);
        QFETCH(QString, message);
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        kestrin::Project &project = MainWindowInspector::project(w);
        if (stages == 0) {
            kestrin::Stage *stage = project.appendStage();
            const QImage big(4096, 4096, QImage::Format_ARGB32);
            for (int i = 0; i < lastFrames; ++i)
                fixture::addFrame(stage, big);
        } else {
            fill(project, stages - 1, rotatable ? 2 : 4);
            fill(project, 1, lastFrames);
        }
        if (rotatable)
            f.rbRotatable->click();
        const QString path = target.isEmpty() ? QString() : dir.filePath(target);
        if (!path.isEmpty()) {
            QFile::remove(path);
            QFile old(path);
            if (old.open(QIODevice::WriteOnly))
                old.write("precious bytes");
        }
        f.leTargetFile->setText(path);

        const QList<SeenBox> boxes = start(w);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].title, QStringLiteral("Generator Error"));
        QCOMPARE(boxes[0].text, message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        QCOMPARE(boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(boxes[0].parentedToWindow);
        QTEST(boxes[0].progressText, "progressText");
        QTEST(boxes[0].progressValue, "progressValue");
        QCOMPARE(boxes[1].title, QStringLiteral("Failed..."));
        QCOMPARE(boxes[1].text, QStringLiteral("Generation failed!"));
        QCOMPARE(boxes[1].icon, QMessageBox::Information);
        QCOMPARE(boxes[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(boxes[1].parentedToWindow);
        if (!path.isEmpty() && QFile::exists(path))
            QCOMPARE(fixture::readAll(path), QByteArray("precious bytes"));
    }

    // Start never writes over a frame file, takes "-" as a file of that name,
    // and shows the system's reason for a failed write (box and debug.txt)
    // without leaving a step of the run on show.
    void targetRules_data()
    {
        QTest::addColumn<QString>("target");  // in the test folder
        QTest::addColumn<QString>("boxText"); // what the "Generator Error" box says; "" for none
        QTest::newRow("target is a frame file") << "frame.bmp" << "is the same file as the frame file";
        QTest::newRow("target -") << "-" << "";
        QTest::newRow("write fails") << "big.art" << "File too large";
    }
    void targetRules()
    {
        QFETCH(QString, target);
        QFETCH(QString, boxText);
        QTemporaryDir folder;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        kestrin::Project &project = MainWindowInspector::project(w);
        fill(project, 1, 3);
        QVERIFY(fixture::writeAll(folder.filePath("frame.bmp"), "frame bytes"));
        project.stages[0]->frames[1]->filePath = folder.filePath("frame.bmp");
        f.leTargetFile->setText(target == QLatin1String("-") ? target : folder.filePath(target));
        const bool failWrite = target == QLatin1String("big.art");
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (failWrite) {
            struct rlimit small = old;
            small.rlim_cur = 100;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const QList<SeenBox> boxes = start(w);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        const QByteArray log = fixture::readAll(folder.filePath("debug.txt"));
        QDir::setCurrent(previous);
        QCOMPARE(fixture::readAll(folder.filePath("frame.bmp")), QByteArray("frame bytes"));
        if (boxText.isEmpty()) {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].text, QStringLiteral("Generation successful!"));
            QVERIFY(QFileInfo(folder.filePath("-")).size() > 0);
            return;
        }
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].text.contains(boxText), qPrintable(boxes[0].text));
        QVERIFY2(log.contains(boxText.toLatin1()), log.constData());
        if (failWrite) {
            QCOMPARE(boxes[0].progressText, QString());
            QVERIFY(!QFile::exists(folder.filePath(target)));
        }
    }
};

KESTRIN_TEST(GenerateTest)
#include "tst_generate.moc"
