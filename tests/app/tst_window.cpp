// The window's colour options, failed loads, Cancel, remembered settings and
// drops, driven through the real widgets with boxes and dialogs answered
// from timers.
#include "fixtures.h"
#include "generate/generation.h"
#include "inspector.h"
#include "testmain.h"
#include "app/spriteviewer.h"
#include "windowfixtures.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstdlib>
#include <unistd.h>

namespace {

// Every window of this suite remembers its settings in a folder of its own,
// never in the user's: set before the application (and QSettings) starts.
// The folder is removed when the suite ends.
char settingsFolder[] = "/tmp/kestrin-tst_app-XXXXXX";
const bool kIsolatedSettings = [] {
    return mkdtemp(settingsFolder) && setenv("XDG_CONFIG_HOME", settingsFolder, 1) == 0
        && std::atexit([] { QDir(QString::fromLocal8Bit(settingsFolder)).removeRecursively(); }) == 0;
}();

QString frameName(int stage, int frame)
{
    return QStringLiteral("camera%1_%2.png").arg(stage, 2, 10, QLatin1Char('0')).arg(frame, 4, 10, QLatin1Char('0'));
}

/** Two stages of three rendered frames (partial alpha, a magenta key, many colours) as PNG. */
bool writeProject(const QString &folder)
{
    for (int s = 1; s <= 2; ++s) {
        for (int f = 0; f < 3; ++f) {
            if (!fixture::writeImage(folder + frameName(s, f), fixture::spriteFrame(24, 18, s * 10 + f)))
                return false;
        }
    }
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** A window and what a user does with it. */
struct Window {
    MainWindow window;
    MainWindowForm &f = MainWindowInspector::form(window);
    kestrin::Project &project() { return MainWindowInspector::project(window); }

    void load(const QString &folder)
    {
        f.leSourceFolder->setText(folder);
        f.leBrowseFormat->setText(QStringLiteral("camera%1_%2.png"));
        QTest::mouseClick(f.pbStageLoad, Qt::LeftButton);
    }
    /** Start with `target`, every box answered with `answer`; the boxes' texts. */
    QStringList start(const QString &target, QMessageBox::StandardButton answer = QMessageBox::Ok)
    {
        f.leTargetFile->setText(target);
        windowfixture::BoxAnswerer boxes(answer);
        QTest::mouseClick(f.pbStart, Qt::LeftButton);
        return boxes.texts();
    }
    /** Sprite > Colour options…, the dialog's fields set by object name, then OK. */
    void setColourOptions(const QVariantMap &fields)
    {
        QTimer::singleShot(0, [fields] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            for (auto it = fields.begin(); it != fields.end(); ++it) {
                QWidget *field = dialog->findChild<QWidget *>(it.key());
                QVERIFY2(field, qPrintable(it.key()));
                if (auto *edit = qobject_cast<QLineEdit *>(field))
                    edit->setText(it.value().toString());
                else if (auto *spin = qobject_cast<QSpinBox *>(field))
                    spin->setValue(it.value().toInt());
                else if (auto *combo = qobject_cast<QComboBox *>(field))
                    combo->setCurrentText(it.value().toString());
            }
            dialog->accept();
        });
        window.findChild<QAction *>(QStringLiteral("actionColourOptions"))->trigger();
    }
};

void sendDrop(QWidget *target, const QPoint &at, const QString &path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    // A drop reaches the widget that accepted the drag's entry.
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString previousDir;

private slots:
    void initTestCase()
    {
        QVERIFY(kIsolatedSettings);
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path())); // debug.txt goes here
        QVERIFY(writeProject(dir.filePath(QStringLiteral("frames/"))));
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }
    void init()
    {
        windowfixture::clearSettings();
        fixture::takeLog();
    }

    // ---- colour options --------------------------------------------------------

    void optionsWriteWhatTheCommandLineWrites_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QStringList>("flags");
        QTest::newRow("key, tolerance, budget")
            << QVariantMap{{"leKeyColour", "255,0,255"}, {"sbKeyTolerance", 40}, {"sbColours", 16}}
            << QStringList{"--key", "255,0,255", "--key-tolerance", "40", "--colors", "16"};
        QTest::newRow("alpha threshold, refined")
            << QVariantMap{{"sbAlphaThreshold", 128}, {"cbQuantizer", "refined"}}
            << QStringList{"--alpha-threshold", "128", "--quantizer", "refined"};
        QTest::newRow("dithering, budget") << QVariantMap{{"cbDithering", "floyd-steinberg"}, {"sbColours", 8}}
                                           << QStringList{"--dither", "floyd-steinberg", "--colors", "8"};
    }
    void optionsWriteWhatTheCommandLineWrites()
    {
        QFETCH(QVariantMap, fields);
        QFETCH(QStringList, flags);
        const QString frames = dir.filePath(QStringLiteral("frames/"));
        const QString fromWindow = dir.filePath(QStringLiteral("window.art"));
        const QString fromCli = dir.filePath(QStringLiteral("cli.art"));
        Window w;
        w.setColourOptions(fields);
        w.load(frames);
        QCOMPARE(w.start(fromWindow), QStringList{"Generation successful!"});

        const fixture::ProcessRun run = [&] {
            QProcess process;
            process.setProgram(QStringLiteral(KESTRIN_ART));
            process.setArguments(QStringList{"build", frames, "--pattern", "camera%1_%2.png", "-o", fromCli} + flags);
            process.start();
            return fixture::finish(process, 120000);
        }();
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QByteArray bytes = readAll(fromWindow);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(bytes, readAll(fromCli));
        QVERIFY(bytes != [&] { // the options changed the file
            windowfixture::clearSettings();
            Window plain;
            plain.load(frames);
            plain.start(fromWindow);
            return readAll(fromWindow);
        }());
    }

    // Values the core refuses keep the dialog open, naming the problem.
    void refusedOptionsKeepTheDialogOpen()
    {
        Window w;
        windowfixture::BoxAnswerer boxes;
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>(QStringLiteral("lePaletteFile"))->setText(QStringLiteral("missing.gpl"));
            dialog->accept(); // refused: the box names the file; the dialog stays
            QTimer::singleShot(50, dialog, [dialog] {
                QVERIFY(dialog->isVisible());
                dialog->reject();
            });
        });
        w.window.findChild<QAction *>(QStringLiteral("actionColourOptions"))->trigger();
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts()[0].startsWith(QLatin1String("missing.gpl: ")), qPrintable(boxes.texts()[0]));
        QVERIFY(MainWindowInspector::colourOptions(w.window).paletteFile.isEmpty());
    }

    // The rules between options, as the command line's: a tolerance needs a
    // key; a palette file fixes the colours, so no budget and no quantizer.
    void optionsFollowTheCommandLineRules()
    {
        Window w;
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *key = dialog->findChild<QLineEdit *>(QStringLiteral("leKeyColour"));
            auto *tolerance = dialog->findChild<QSpinBox *>(QStringLiteral("sbKeyTolerance"));
            auto *colours = dialog->findChild<QSpinBox *>(QStringLiteral("sbColours"));
            auto *quantizer = dialog->findChild<QComboBox *>(QStringLiteral("cbQuantizer"));
            QCOMPARE(tolerance->accessibleName(), QStringLiteral("Key tolerance"));
            QVERIFY(!tolerance->isEnabled());
            key->setText(QStringLiteral("0,0,0"));
            tolerance->setValue(12);
            key->clear();
            QVERIFY(!tolerance->isEnabled());
            QCOMPARE(tolerance->value(), 0);

            colours->setValue(16);
            quantizer->setCurrentText(QStringLiteral("refined"));
            dialog->findChild<QLineEdit *>(QStringLiteral("lePaletteFile"))->setText(QStringLiteral("x.gpl"));
            QVERIFY(!colours->isEnabled() && !quantizer->isEnabled());
            QCOMPARE(colours->value(), 256);
            QCOMPARE(quantizer->currentText(), QStringLiteral("octree"));
            dialog->reject();
        });
        w.window.findChild<QAction *>(QStringLiteral("actionColourOptions"))->trigger();
    }

    // ---- failed loads ------------------------------------------------------------

    // A frame whose file did not load is written only when the user says so;
    // frames made with New are written without asking.
    void startAsksAboutFramesThatDidNotLoad_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("written");
        QTest::newRow("No writes nothing") << int(QMessageBox::No) << false;
        QTest::newRow("Yes writes it empty") << int(QMessageBox::Yes) << true;
    }
    void startAsksAboutFramesThatDidNotLoad()
    {
        QFETCH(int, answer);
        QFETCH(bool, written);
        const QString folder = dir.filePath(QStringLiteral("truncated/"));
        QVERIFY(writeProject(folder));
        const QByteArray whole = readAll(folder + frameName(2, 2));
        QVERIFY(fixture::writeAll(folder + frameName(2, 2), whole.left(whole.size() / 2)));
        const QString target = dir.filePath(QStringLiteral("asked.art"));
        QFile::remove(target);

        Window w;
        {
            windowfixture::BoxAnswerer boxes;
            w.load(folder);
            QCOMPARE(boxes.texts().size(), 1);
            QVERIFY(boxes.texts()[0].startsWith(folder + frameName(2, 2) + ": Cannot load frame: "));
        }
        const QStringList texts = w.start(target, QMessageBox::StandardButton(answer));
        QVERIFY(!texts.isEmpty());
        QVERIFY2(texts[0].startsWith("Frame 2 of stage 1 (" + folder + frameName(2, 2) + ") has no image: its file did not load ("),
                 qPrintable(texts[0]));
        QVERIFY(texts[0].endsWith(QLatin1String("). Write it as an empty frame?")));
        QCOMPARE(QFile::exists(target), written);
        QCOMPARE(texts.mid(1), written ? QStringList{"Generation successful!"} : QStringList());

        Window made;
        made.f.pbStageNew->click();
        made.f.lwStageEdit->setCurrentRow(0);
        made.f.pbFrameNew->click();
        QCOMPARE(made.start(target), QStringList{"Generation successful!"});
    }

    // ---- the target ----------------------------------------------------------------

    void startWithThePromptAsksForATarget()
    {
        const QString target = dir.filePath(QStringLiteral("asked-for.art"));
        QFile::remove(target);
        Window w;
        w.load(dir.filePath(QStringLiteral("frames/")));
        windowfixture::BoxAnswerer boxes;
        for (const QString &answer : {QString(), target}) {
            QTimer::singleShot(0, [answer] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                QCOMPARE(dialog->nameFilters(), QStringList{"Sprite (*.art)"});
                if (answer.isEmpty()) {
                    dialog->reject();
                } else {
                    dialog->selectFile(answer);
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            });
            QTest::mouseClick(w.f.pbStart, Qt::LeftButton);
            if (answer.isEmpty()) { // Cancel writes nothing, no file named after the prompt either
                QVERIFY(!QFile::exists(QStringLiteral("Where to save Art?")));
                QCOMPARE(w.f.leTargetFile->text(), QStringLiteral("Where to save Art?"));
                QVERIFY(boxes.texts().isEmpty());
            }
        }
        QVERIFY(QFile::exists(target));
        QCOMPARE(w.f.leTargetFile->text(), target);
        QCOMPARE(boxes.texts(), QStringList{"Generation successful!"});
    }

    // ---- Cancel --------------------------------------------------------------------

    // Escape while the run reduces colours: the old file stays as it was.
    void cancelledStartKeepsTheTarget()
    {
        const QString target = dir.filePath(QStringLiteral("kept.art"));
        QVERIFY(fixture::writeAll(target, "old bytes"));
        Window w;
        w.load(dir.filePath(QStringLiteral("frames/")));
        const auto escape = connect(w.f.pbTotal, &QProgressBar::valueChanged, &w.window, [&](int value) {
            if (value == kestrin::stepPercent(kestrin::GenerationStep::Reducing))
                QTest::keyClick(&w.window, Qt::Key_Escape);
        });
        QCOMPARE(w.start(target), QStringList());
        disconnect(escape);
        QCOMPARE(readAll(target), QByteArray("old bytes"));
        QCOMPARE(w.f.lblProgress->text(), QStringLiteral("Generation cancelled: the target is as it was."));
        QCOMPARE(QFileInfo(target).dir().entryList({QStringLiteral("*kept.art*")}, QDir::Hidden | QDir::Files),
                 QStringList{"kept.art"}); // no temporary file left beside it

        // The next Start is not cancelled by that Escape.
        QTest::keyClick(&w.window, Qt::Key_Escape); // an Escape between runs cancels nothing
        QCOMPARE(w.start(target), QStringList{"Generation successful!"});
        QVERIFY(readAll(target) != QByteArray("old bytes"));
    }

    void cancelledLoadKeepsTheProject()
    {
        Window w;
        w.f.pbStageNew->click();
        w.f.pbStageNew->click();
        const kestrin::Stage *first = w.project().stages[0].get();
        connect(w.window.statusBar(), &QStatusBar::messageChanged, &w.window, [&](const QString &message) {
            if (!message.isEmpty())
                QTest::keyClick(&w.window, Qt::Key_Escape);
        });
        windowfixture::BoxAnswerer boxes;
        w.load(dir.filePath(QStringLiteral("frames/")));
        QCOMPARE(w.project().stageCount, 2u);
        QCOMPARE(w.project().stages[0].get(), first);
        QCOMPARE(w.f.lwStageEdit->count(), 2);
        QCOMPARE(w.f.lblProgress->text(), QStringLiteral("Load cancelled: the project is as it was."));
        QVERIFY(boxes.texts().isEmpty());
        QVERIFY(fixture::takeLog().isEmpty());
    }

    // ---- remembered ------------------------------------------------------------------

    void settingsSurviveTheWindow()
    {
        const QString frames = dir.filePath(QStringLiteral("frames"));
        const QString target = dir.filePath(QStringLiteral("recent.art"));
        {
            Window w;
            w.setColourOptions({{"leKeyColour", "1,2,3"}, {"sbKeyTolerance", 5}, {"sbAlphaThreshold", 9},
                                {"sbColours", 100}, {"cbQuantizer", "refined"}, {"cbDithering", "floyd-steinberg"}});
            QTimer::singleShot(0, [frames] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->selectFile(frames);
                QMetaObject::invokeMethod(dialog, "accept");
            });
            QTest::mouseClick(w.f.pbBrowseFolder, Qt::LeftButton);
            w.load(frames + QLatin1Char('/'));
            QCOMPARE(w.start(target), QStringList{"Generation successful!"});
        }
        Window w;
        const kestrin::GenerationSettings &options = MainWindowInspector::colourOptions(w.window);
        QVERIFY(options.useKey);
        QCOMPARE(options.keyColor, 0x010203u);
        QCOMPARE(options.keyTolerance, 5);
        QCOMPARE(options.alphaThreshold, 9);
        QCOMPARE(options.colorBudget, 100u);
        QCOMPARE(options.quantizer, kestrin::QuantizerKind::Refined);
        QCOMPARE(options.dither, kestrin::DitherKind::FloydSteinberg);
        // The form starts as always.
        QCOMPARE(w.f.leSourceFolder->text(), QStringLiteral("Load frames from folder..."));
        QString started;
        QTimer::singleShot(0, [&started] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            started = dialog->directory().absolutePath();
            dialog->reject();
        });
        QTest::mouseClick(w.f.pbBrowseFolder, Qt::LeftButton);
        QCOMPARE(started, frames);
        QMenu *recent = w.window.findChild<QMenu *>(QStringLiteral("menuOpenRecent"));
        QVERIFY(recent);
        QMetaObject::invokeMethod(recent, "aboutToShow");
        QCOMPARE(recent->actions().value(0) ? recent->actions()[0]->text() : QString(), target);
    }

    // ---- drops -----------------------------------------------------------------------

    void drops()
    {
        const QString frames = dir.filePath(QStringLiteral("frames"));
        const QString sprite = dir.filePath(QStringLiteral("dropped.art"));
        Window w;
        w.window.show();
        sendDrop(&w.window, QPoint(5, 40), frames);
        QCOMPARE(w.f.leSourceFolder->text(), frames + QLatin1Char('/'));

        w.f.pbStageNew->click();
        w.f.lwStageEdit->setCurrentRow(0);
        w.f.pbFrameNew->click();
        w.f.lwFrameEdit->setCurrentRow(0);
        const QString image = frames + QLatin1Char('/') + frameName(1, 2);
        sendDrop(&w.window, w.f.lwFrameEdit->mapTo(&w.window, QPoint(20, 20)), image);
        QCOMPARE(w.project().stages[0]->frames[0]->filePath, image);
        QCOMPARE(w.project().stages[0]->frames[0]->sourceImage.size(), QSize(24, 18));

        QCOMPARE(w.start(sprite), QStringList{"Generation successful!"});
        sendDrop(&w.window, QPoint(5, 40), sprite);
        QTRY_COMPARE(w.window.findChildren<SpriteViewer *>().size(), 1);
        QVERIFY(w.window.findChildren<SpriteViewer *>()[0]->windowTitle().contains(QStringLiteral("dropped.art")));
    }
};

KESTRIN_TEST(WindowTest)
#include "tst_window.moc"
