// Project files in the window: the File menu's entries, what Save writes and
// Open brings back, and the hit-frame warning in the status label.
#include "fixtures.h"
#include "inspector.h"
#include "testmain.h"
#include "windowfixtures.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

/** The form fields Save and Open carry, in a fixed order. */
QStringList formFields(MainWindow &w)
{
    MainWindowForm &f = MainWindowInspector::form(w);
    QStringList fields;
    for (QLineEdit *edit : {f.leSourceFolder, f.leBrowseFormat, f.leStageMin, f.leStageMax, f.leStageWidth,
                            f.leFrameMin, f.leFrameMax, f.leFrameWidth, f.leTargetFile})
        fields << edit->text();
    fields << QString::number(MainWindowInspector::rotatable(w)) << QString::number(MainWindowInspector::frameRate(w))
           << QString::number(MainWindowInspector::hitFrame(w))
           << QString::number(MainWindowInspector::paletteCount(w));
    return fields;
}

} // namespace

class ProjectFileWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        for (int s = 1; s <= 2; ++s) {
            for (int f = 0; f < 3; ++f) {
                const QString name = QStringLiteral("frames/camera%1_%2.bmp").arg(s, 2, 10, QLatin1Char('0')).arg(f, 4, 10, QLatin1Char('0'));
                QVERIFY(fixture::writeImage(dir.filePath(name), fixture::flat(3 + f, 2 + s, qRgb(40 * s, 50 * f, 9))));
            }
        }
    }

    void fileMenuHoldsTheEntries()
    {
        MainWindow w;
        QMenu *file = nullptr;
        for (QAction *action : w.menuBar()->actions()) {
            if (action->menu() && action->text() == QStringLiteral("&File"))
                file = action->menu();
        }
        QVERIFY(file);
        QStringList texts;
        for (QAction *action : file->actions()) {
            if (action->objectName().contains(QLatin1String("Project")))
                texts << action->text() + QLatin1Char('|') + action->shortcut().toString();
        }
        // Ctrl+O opens a sprite, so opening a project takes Ctrl+Shift+O.
        QCOMPARE(texts, (QStringList{"&Open project...|Ctrl+Shift+O", "&Save project|Ctrl+S", "Save project &as...|Ctrl+Shift+S"}));
    }

    // What Save writes, Open fills back in; a folder text that ends inside a
    // name keeps naming the same files.
    void saveThenOpenRestoresTheForm_data()
    {
        QTest::addColumn<QStringList>("fields"); // folder, pattern, six numbers, target
        QTest::addColumn<bool>("rotatable");
        QTest::addColumn<QList<int>>("spins"); // rate, hit frame, palettes
        QTest::newRow("defaults with a folder") << QStringList{"frames/", "camera%1_%2.bmp", "1", "99", "2", "0", "9999", "4", "out/a.art"}
                                                << false << QList<int>{0, 0, 4};
        QTest::newRow("every field changed") << QStringList{"frames/", "walk_%2.png", "3", "-1", "-3", "1", "12", "0", "b.art"}
                                             << true << QList<int>{12, 5, 2};
    }

    void saveThenOpenRestoresTheForm()
    {
        QFETCH(QStringList, fields);
        QFETCH(bool, rotatable);
        QFETCH(QList<int>, spins);
        QStringList saved;
        const QString path = dir.filePath(QStringLiteral("form.kestrin"));
        for (QString &field : fields) {
            if (field.endsWith(QLatin1Char('/')) || field.endsWith(QLatin1String(".art")))
                field = dir.filePath(field) + (field.endsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString());
        }
        {
            MainWindow w;
            MainWindowForm &f = MainWindowInspector::form(w);
            QLineEdit *edits[] = {f.leSourceFolder, f.leBrowseFormat, f.leStageMin, f.leStageMax, f.leStageWidth,
                                  f.leFrameMin, f.leFrameMax, f.leFrameWidth, f.leTargetFile};
            for (int i = 0; i < 9; ++i)
                edits[i]->setText(fields[i]);
            (rotatable ? f.rbRotatable : f.rbStatic)->setChecked(true);
            f.sbFrameRate->setValue(spins[0]);
            f.sbHitFrame->setValue(spins[1]);
            f.sbPaletteCount->setValue(spins[2]);
            QVERIFY(MainWindowInspector::saveProject(w, path));
            saved = formFields(w);
        }
        MainWindow w;
        // The folder holds no frames: the load after opening says so in a box.
        windowfixture::BoxAnswerer boxes;
        QVERIFY(MainWindowInspector::openProject(w, path));
        QStringList opened = formFields(w);
        // Paths come back clean (no "//"), naming the same place.
        saved[0] = QDir::cleanPath(saved[0]) + QLatin1Char('/');
        QCOMPARE(opened, saved);
    }

    void folderTextEndingInsideANameNamesTheSameFiles()
    {
        const QString path = dir.filePath(QStringLiteral("prefix.kestrin"));
        {
            MainWindow w;
            MainWindowForm &f = MainWindowInspector::form(w);
            f.leSourceFolder->setText(dir.filePath(QStringLiteral("frames/cam")));
            f.leBrowseFormat->setText(QStringLiteral("era%1_%2.bmp"));
            QVERIFY(MainWindowInspector::saveProject(w, path));
        }
        MainWindow w;
        QVERIFY(MainWindowInspector::openProject(w, path));
        QCOMPARE(MainWindowInspector::form(w).leBrowseFormat->text(), QStringLiteral("camera%1_%2.bmp"));
        QCOMPARE(MainWindowInspector::project(w).stageCount, 2u); // opening loads the frames
    }

    void badProjectIsNamedInABox()
    {
        const QString path = dir.filePath(QStringLiteral("bad.kestrin"));
        QVERIFY(fixture::writeAll(path, R"({"palettes": 0})"));
        MainWindow w;
        QString text;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            text = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        const QStringList before = formFields(w);
        QVERIFY(!MainWindowInspector::openProject(w, path));
        QCOMPARE(text, QStringLiteral("Project Error|%1: Bad project file: palettes: 0 is not a whole number from 1 "
                                      "to 4")
                           .arg(path));
        QCOMPARE(formFields(w), before);
    }

    // A hit frame at or beyond the frames per stage is written as given; the
    // status label says so after the run.
    void hitFrameBeyondTheFramesIsAWarning_data()
    {
        QTest::addColumn<int>("hitFrame"); // 3 frames per stage
        QTest::addColumn<QString>("status");
        QTest::newRow("last frame") << 2 << "Generation completed...";
        QTest::newRow("beyond") << 3
                                << "Generation completed... (warning: hit frame 3 is not below the 3 frames per stage)";
    }

    void hitFrameBeyondTheFramesIsAWarning()
    {
        QFETCH(int, hitFrame);
        QFETCH(QString, status);
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        f.leSourceFolder->setText(dir.filePath(QStringLiteral("frames/")));
        QTest::mouseClick(f.pbStageLoad, Qt::LeftButton);
        f.sbHitFrame->setValue(hitFrame);
        const QString target = dir.filePath(QStringLiteral("hit.art"));
        QVERIFY(MainWindowInspector::generateArt(w, target));
        QCOMPARE(f.lblProgress->text(), status);
        QCOMPARE(fixture::field(fixture::readAll(target), 28), hitFrame);
    }
};

KESTRIN_TEST(ProjectFileWindowTest)
#include "tst_projectfile.moc"
