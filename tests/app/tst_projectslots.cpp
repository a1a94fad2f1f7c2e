// The Source Folder, Stage Edit and Frame Edit groups driven through the
// real widgets: Load, Update, and editing stages and frames by hand.
#include "fixtures.h"
#include "inspector.h"
#include "testmain.h"
#include "windowfixtures.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFrame(const QString &path, QRgb colour = qRgb(10, 20, 30))
{
    return fixture::writeImage(path, fixture::flat(4, 3, colour));
}

QString frameName(int stage, int frame)
{
    return QStringLiteral("camera%1_%2.bmp").arg(stage, 2, 10, QLatin1Char('0')).arg(frame, 4, 10, QLatin1Char('0'));
}

/** A window and what a user can do with it. */
struct Window {
    MainWindow window;
    windowfixture::BoxAnswerer boxes; // every box the window opens, answered with Ok

    template <typename T> T *widget(const char *name) { return window.findChild<T *>(QLatin1String(name)); }
    QListWidget *stages() { return widget<QListWidget>("lwStageEdit"); }
    QListWidget *frames() { return widget<QListWidget>("lwFrameEdit"); }
    kestrin::Project &project() { return MainWindowInspector::project(window); }

    void click(const char *button) { QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton); }
    void type(const char *edit, const QString &text)
    {
        QLineEdit *line = widget<QLineEdit>(edit);
        line->clear();
        QTest::keyClicks(line, text);
    }
    static QStringList texts(const QListWidget *list)
    {
        QStringList result;
        for (int row = 0; row < list->count(); ++row)
            result << list->item(row)->text();
        return result;
    }
    QStringList stageTexts() { return texts(stages()); }
    QStringList frameTexts() { return texts(frames()); }
    kestrin::Frame *frameOf(int row)
    {
        return reinterpret_cast<kestrin::Frame *>(frames()->item(row)->data(Qt::UserRole).value<quintptr>());
    }
    /** Stages labelled 0 .. counts.size() - 1 made with "New", frames with "New". */
    void build(const QList<int> &counts)
    {
        for (int s = 0; s < counts.size(); ++s) {
            click("pbStageNew");
            stages()->setCurrentRow(s);
            for (int f = 0; f < counts[s]; ++f)
                click("pbFrameNew");
        }
        stages()->clearSelection();
    }
};

QStringList numbered(const char *prefix, std::initializer_list<int> numbers)
{
    QStringList result;
    for (int n : numbers)
        result << QStringLiteral("%1 %2").arg(QLatin1String(prefix)).arg(n);
    return result;
}

} // namespace

class ProjectSlotsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString previousDir;

    static QStringList takeLog() { return fixture::takeLog(); }

private slots:
    // The folder text is relative to the working directory: the temporary folder.
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        for (int s : {1, 2})
            for (int f = 0; f < 12; ++f)
                QVERIFY(writeFrame(QStringLiteral("frames/") + frameName(s, f), qRgb(s, f, 0)));
    }

    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void init() { takeLog(); }

    // ---- Load ------------------------------------------------------------------

    void loadListsStagesThenSelectionListsFrames()
    {
        Window w;
        w.type("leSourceFolder", QStringLiteral("frames/"));
        w.click("pbStageLoad");
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 1}));
        QVERIFY(w.stages()->selectedItems().isEmpty());
        QCOMPARE(w.frames()->count(), 0);
        QVERIFY(takeLog().isEmpty());

        w.stages()->setCurrentRow(1);
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        QCOMPARE(w.frames()->selectedItems().size(), 1);
        QCOMPARE(w.frames()->row(w.frames()->selectedItems().first()), 0);
        kestrin::Frame *first = w.frameOf(0);
        QCOMPARE(first, w.project().stages[1]->frames[0].get());
        QCOMPARE(first->filePath, QStringLiteral("frames/camera02_0000.bmp"));
        QVERIFY(!w.widget<QLabel>("lblPreview")->pixmap().isNull());
    }

    // The example project shipped with the sources loads with the default
    // pattern and ranges, also with "-1" as both upper bounds.
    void exampleProjectLoads_data()
    {
        QTest::addColumn<QString>("upperBound");
        QTest::newRow("defaults") << QString();
        QTest::newRow("-1") << QStringLiteral("-1");
    }

    void exampleProjectLoads()
    {
        QFETCH(QString, upperBound);
        Window w;
        // The data folder may not exist, so ".." is resolved here, not by the system.
        w.type("leSourceFolder", QDir::cleanPath(QStringLiteral(KESTRIN_TEST_DATA "/../../examples/walker")) + '/');
        if (!upperBound.isEmpty()) {
            w.type("leStageMax", upperBound);
            w.type("leFrameMax", upperBound);
        }
        w.click("pbStageLoad");
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 1, 2}));
        w.stages()->setCurrentRow(2);
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 1, 2, 3, 4, 5}));
        QCOMPARE(w.frames()->currentRow(), 0);
        QCOMPARE(w.frameOf(5)->sourceImage.size(), QSize(32, 32));
        QVERIFY(w.frameOf(5)->filePath.endsWith(QLatin1String("walker/camera03_0005.bmp")));
        QVERIFY(takeLog().isEmpty());
    }

    void loadReplacesTheProjectEvenWhenNothingIsFound()
    {
        Window w;
        w.build({2, 1});
        w.stages()->setCurrentRow(0);
        w.click("pbStageLoad"); // the folder field still reads "Load frames from folder..."
        QCOMPARE(w.project().stageCount, 0u);
        QCOMPARE(w.stages()->count(), 0);
        QCOMPARE(w.frames()->count(), 0);
        QCOMPARE(takeLog(), QStringList{"GenFile: No stages found!"});
        QCOMPARE(w.boxes.boxes.size(), 1);
        QCOMPARE(w.boxes.boxes[0].title, QStringLiteral("Load Error"));
        QVERIFY(w.boxes.boxes[0].text.startsWith(QLatin1String("Load frames from folder...: No stages found")));

        w.type("leSourceFolder", QStringLiteral("frames/"));
        w.click("pbStageLoad");
        w.click("pbStageLoad"); // loading twice gives the same list, not twice as many stages
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 1}));
    }

    void numberFields_data()
    {
        QTest::addColumn<QStringList>("fields"); // stage min, max, width, frame min, max, width
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<quint32>>("framesPerStage");
        QTest::newRow("text counts as 0") << QStringList{"one", "7", "two", "zero", "3", "x"}
                                          << QStringList{"camera0_0.bmp", "camera0_2.bmp", "camera5_0.bmp"}
                                          << QList<quint32>{2, 1};
        QTest::newRow("-1 is the largest bound") << QStringList{"0", "-1", "2", "0", "-1", "4"}
                                                 << QStringList{frameName(1, 0), frameName(1, 70000), frameName(4000, 0)}
                                                 << QList<quint32>{2, 1};
        // Left-aligned: 5, 50 and 500 all give "500": three stages would be one
        // file, so the load is refused.
        QTest::newRow("negative width") << QStringList{"1", "600", "-3", "0", "2", "-2"}
                                        << QStringList{"camera500_00.bmp", "camera500_10.bmp"} << QList<quint32>{};
        QTest::newRow("negative width, distinct names") << QStringList{"1", "3", "-3", "0", "2", "-2"}
                                                        << QStringList{"camera100_00.bmp", "camera200_00.bmp"}
                                                        << QList<quint32>{1, 1};
    }

    void numberFields()
    {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, files);
        QFETCH(QList<quint32>, framesPerStage);
        const QString folder = QStringLiteral("fields/%1/").arg(QTest::currentDataTag());
        for (const QString &file : files)
            QVERIFY(writeFrame(folder + file));
        Window w;
        w.type("leSourceFolder", folder);
        const char *edits[] = {"leStageMin", "leStageMax", "leStageWidth", "leFrameMin", "leFrameMax", "leFrameWidth"};
        for (int i = 0; i < 6; ++i)
            w.type(edits[i], fields[i]);
        w.click("pbStageLoad");
        QList<quint32> counts;
        for (const auto &stage : w.project().stages)
            counts << stage->frameCount;
        QCOMPARE(counts, framesPerStage);
        QCOMPARE(w.stages()->count(), int(framesPerStage.size()));
    }

    // Frames decode on several threads; the window still shows every frame up
    // to the bad file (empty, last) and logs that file alone.
    void corruptFileKeepsWhatWasLoaded_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("badStage"); // stage number, from 1
        QTest::addColumn<int>("badFrame");
        QTest::newRow("second of two frames") << 1 << 2 << 1 << 1;
        QTest::newRow("first frame of a later stage") << 4 << 6 << 3 << 0;
        QTest::newRow("in the middle") << 4 << 6 << 2 << 3;
        QTest::newRow("last frame") << 4 << 6 << 4 << 5;
    }
    void corruptFileKeepsWhatWasLoaded()
    {
        QFETCH(int, stages);
        QFETCH(int, frames);
        QFETCH(int, badStage);
        QFETCH(int, badFrame);
        const QString folder = QStringLiteral("corrupt/%1/").arg(QLatin1String(QTest::currentDataTag()));
        for (int s = 1; s <= stages; ++s) {
            for (int f = 0; f < frames; ++f)
                QVERIFY(writeFrame(folder + frameName(s, f), qRgb(s * 40, f * 30, 7)));
        }
        QFile text(folder + frameName(badStage, badFrame));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not an image") > 0);
        text.close();
        Window w;
        w.type("leSourceFolder", folder);
        w.click("pbStageLoad");
        QStringList stageTexts, frameTexts;
        for (int s = 0; s < badStage; ++s)
            stageTexts << QStringLiteral("Stage %1").arg(s);
        for (int f = 0; f <= badFrame; ++f)
            frameTexts << QStringLiteral("Frame %1").arg(f);
        QCOMPARE(w.stageTexts(), stageTexts);
        w.stages()->setCurrentRow(badStage - 1);
        QCOMPARE(w.frameTexts(), frameTexts);
        QVERIFY(w.frameOf(badFrame)->sourceImage.isNull());
        for (int f = 0; f < badFrame; ++f)
            QCOMPARE(w.frameOf(f)->sourceImage.pixel(0, 0), qRgb(badStage * 40, f * 30, 7));
        QCOMPARE(takeLog(), QStringList{"GenFile: Cannot load frame: " + folder + frameName(badStage, badFrame)});
        // The box after the load names the file and the decoder's reason, as kestrin-art does.
        const QString bad = folder + frameName(badStage, badFrame);
        QCOMPARE(w.boxes.texts().size(), 1);
        QVERIFY2(w.boxes.texts()[0].startsWith(bad + ": Cannot load frame: ") && w.boxes.texts()[0].size() > bad.size() + 21,
                 qPrintable(w.boxes.texts()[0]));
        QCOMPARE(w.frameOf(badFrame)->failedFile, bad);
        QVERIFY(!w.frameOf(badFrame)->failedReason.isEmpty());
    }

    // Loads refused before anything is decoded leave one log line each and an
    // empty project.
    void refusedLoadsAreLogged_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("stageMax");
        QTest::addColumn<QString>("frameMax");
        QTest::addColumn<QString>("line");
        QTest::newRow("no frame number")
            << "camera01_0000.bmp" << "-1" << "9999"
            << "GenFile: The file-name pattern has no %2 for the frame number: write %2 where the frame number goes "
               "(walk_%2.png for one numbered sequence) and %1 where the stage number goes (camera%1_%2.png for "
               "several stages)";
        // Stage 10 frame 10000 and stage 101 frame 0 are both p1010000.bmp.
        QTest::newRow("two frames, one file")
            << "p%1%2.bmp" << "102" << "10001"
            << "GenFile: The file-name pattern gives the same name to two frames (give the numbers fixed widths, or "
               "put text between them): frames/p1010000.bmp";
        QTest::newRow("range that cannot be listed")
            << "p%%1_%2.bmp" << "-1" << "9999" << "GenFile: Range too large to search: frames/p%%1_%2.bmp";
    }
    void refusedLoadsAreLogged()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, stageMax);
        QFETCH(QString, frameMax);
        QVERIFY(writeFrame(QStringLiteral("frames/p1_0.bmp")));
        QVERIFY(writeFrame(QStringLiteral("frames/p100000.bmp")));
        QVERIFY(writeFrame(QStringLiteral("frames/p1010000.bmp")));
        Window w;
        w.type("leSourceFolder", QStringLiteral("frames/"));
        w.type("leBrowseFormat", pattern);
        w.type("leStageMax", stageMax);
        w.type("leFrameMax", frameMax);
        w.click("pbStageLoad");
        QCOMPARE(w.project().stageCount, 0u);
        QCOMPARE(w.stages()->count(), 0);
        QTEST(takeLog().join(QLatin1Char('|')), "line");
    }

    // ---- Update ----------------------------------------------------------------

    void preview_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("frameMin");
        QTest::addColumn<QString>("frameMax");
        QTest::addColumn<QStringList>("firstNextLast");
        QTest::newRow("defaults") << "camera%1_%2.bmp" << "0" << "9999"
                                  << QStringList{"camera01_0000.bmp", "camera01_0001.bmp", "camera99_9999.bmp"};
        QTest::newRow("frame min = max = 5") << "camera%1_%2.bmp" << "5" << "5"
                                             << QStringList{"camera01_0005.bmp", "camera02_0005.bmp", "camera99_0005.bmp"};
        QTest::newRow("one marker") << "cam%1.bmp" << "0" << "9999"
                                    << QStringList{"cam01.bmp", "cam01.bmp", "cam99.bmp"};
        QTest::newRow("only %2: the frames of one stage") << "walk_%2.png" << "1" << "9999"
                                                          << QStringList{"walk_0001.png", "walk_0002.png", "walk_9999.png"};
    }

    void preview()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, frameMin);
        QFETCH(QString, frameMax);
        QFETCH(QStringList, firstNextLast);
        Window w;
        QCOMPARE(w.widget<QLineEdit>("lePreviewFirst")->text(), QStringLiteral("First file..."));
        w.type("leBrowseFormat", pattern);
        w.type("leFrameMin", frameMin);
        w.type("leFrameMax", frameMax);
        QStringList order;
        for (const char *name : {"lePreviewFirst", "lePreviewNext", "lePreviewLast"}) {
            QLineEdit *edit = w.widget<QLineEdit>(name);
            connect(edit, &QLineEdit::textChanged, this, [&order, name] { order << QLatin1String(name); });
        }
        w.click("pbPreviewUpdate");
        QCOMPARE(order, (QStringList{"lePreviewFirst", "lePreviewLast", "lePreviewNext"}));
        QCOMPARE((QStringList{w.widget<QLineEdit>("lePreviewFirst")->text(), w.widget<QLineEdit>("lePreviewNext")->text(),
                              w.widget<QLineEdit>("lePreviewLast")->text()}),
                 firstNextLast);
        QCOMPARE(w.project().stageCount, 0u); // Update touches neither the disk nor the project
    }

    // ---- Stage Edit ------------------------------------------------------------

    void stageLabelsAreNotRenumbered()
    {
        Window w;
        w.click("pbStageNew");
        QCOMPARE(w.stageTexts(), numbered("Stage", {0}));
        QVERIFY(w.stages()->selectedItems().isEmpty());
        w.click("pbStageNew");
        w.click("pbStageNew");
        w.stages()->setCurrentRow(1);
        w.click("pbStageDelete");
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 2}));
        w.click("pbStageNew");
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 2, 2}));
        QCOMPARE(w.project().stageCount, 3u);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(w.stages()->item(row)->data(Qt::UserRole).value<quintptr>(),
                     reinterpret_cast<quintptr>(w.project().stages[quint32(row)].get()));
    }

    void deletingTheSelectedStageDropsItsFrames()
    {
        Window w;
        w.build({1, 3, 2});
        kestrin::Stage *kept = w.project().stages[2].get();
        w.stages()->setCurrentRow(1);
        QCOMPARE(w.frames()->count(), 3);
        w.click("pbStageDelete");
        QCOMPARE(w.project().stageCount, 2u);
        QCOMPARE(w.project().stages[1].get(), kept);
        // Whatever is selected now, the frame list shows that stage or nothing.
        const QList<QListWidgetItem *> selected = w.stages()->selectedItems();
        if (selected.isEmpty()) {
            QCOMPARE(w.frames()->count(), 0);
        } else {
            auto *stage = reinterpret_cast<kestrin::Stage *>(selected.first()->data(Qt::UserRole).value<quintptr>());
            QCOMPARE(quint32(w.frames()->count()), stage->frameCount);
            for (int row = 0; row < w.frames()->count(); ++row)
                QCOMPARE(w.frameOf(row), stage->frames[quint32(row)].get());
        }
        w.click("pbStageDelete");
        w.click("pbStageDelete");
        w.click("pbStageDelete"); // nothing selected any more: nothing happens
        QVERIFY(w.project().stageCount <= 2u);
    }

    void stageDeleteWithoutSelectionDoesNothing()
    {
        Window w;
        w.build({1, 1});
        w.click("pbStageDelete");
        QCOMPARE(w.project().stageCount, 2u);
        QCOMPARE(w.stageTexts(), numbered("Stage", {0, 1}));
    }

    void selectingAStage()
    {
        Window w;
        w.build({0, 2});
        w.stages()->setCurrentRow(1);
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 1}));
        QCOMPARE(w.frames()->currentRow(), 0);
        QVERIFY(w.frames()->item(0)->isSelected());
        w.stages()->setCurrentRow(0);
        QCOMPARE(w.frames()->count(), 0);
        w.stages()->clearSelection();
        QCOMPARE(w.frames()->count(), 0);
    }

    // ---- Frame Edit ------------------------------------------------------------

    void frameButtonsNeedAStage()
    {
        Window w;
        w.build({2});
        w.click("pbFrameNew");
        w.click("pbFrameDelete");
        QCOMPARE(w.project().stages[0]->frameCount, 2u);
        QCOMPARE(w.frames()->count(), 0);
    }

    void frameDeleteNeedsAFrame()
    {
        Window w;
        w.build({2});
        w.stages()->setCurrentRow(0);
        w.frames()->clearSelection();
        w.click("pbFrameDelete");
        QCOMPARE(w.project().stages[0]->frameCount, 2u);
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 1}));
    }

    void frameLabelsAreNotRenumbered()
    {
        Window w;
        w.build({4, 0});
        w.stages()->setCurrentRow(0);
        kestrin::Frame *third = w.frameOf(2);
        w.frames()->setCurrentRow(1);
        w.click("pbFrameDelete");
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 2, 3}));
        QCOMPARE(w.project().stages[0]->frameCount, 3u);
        QCOMPARE(w.project().stages[0]->frames[1].get(), third);
        w.click("pbFrameNew");
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 2, 3, 3}));
        w.stages()->setCurrentRow(1);
        w.stages()->setCurrentRow(0);
        QCOMPARE(w.frameTexts(), numbered("Frame", {0, 1, 2, 3}));
    }

    void newFrameStaysEmptyUntilLoaded()
    {
        Window w;
        w.build({1});
        w.stages()->setCurrentRow(0);
        kestrin::Frame *frame = w.frameOf(0);
        QVERIFY(frame->filePath.isEmpty());
        QVERIFY(frame->sourceImage.isNull() && frame->workImage.isNull());
        QCOMPARE(frame->boundRect, kestrin::BoundRect());

        w.click("pbFrameLoad"); // leSourceFile still reads "Load frame from file..."
        QVERIFY(frame->filePath.isEmpty());
        QVERIFY(frame->sourceImage.isNull());

        w.type("leSourceFile", QStringLiteral("frames/") + frameName(2, 3));
        w.click("pbFrameLoad");
        QCOMPARE(frame->filePath, QStringLiteral("frames/") + frameName(2, 3));
        QCOMPARE(frame->sourceImage.pixel(0, 0), qRgb(2, 3, 0));
        QCOMPARE(w.frameTexts(), numbered("Frame", {0}));

        w.type("leSourceFile", QStringLiteral("frames/missing.bmp"));
        w.click("pbFrameLoad"); // fails with a box, the frame keeps its image
        QCOMPARE(frame->filePath, QStringLiteral("frames/") + frameName(2, 3));
        QVERIFY(takeLog().isEmpty());
        QCOMPARE(w.boxes.texts().size(), 2); // the placeholder text, then the missing file
        QVERIFY(w.boxes.texts()[1].startsWith(QLatin1String("frames/missing.bmp: Cannot load frame: ")));
    }

    void frameLoadNeedsAFrame()
    {
        Window w;
        w.build({1});
        w.stages()->setCurrentRow(0);
        w.frames()->clearSelection();
        w.type("leSourceFile", QStringLiteral("frames/") + frameName(1, 0));
        w.click("pbFrameLoad");
        QVERIFY(w.project().stages[0]->frames[0]->sourceImage.isNull());
    }
};

KESTRIN_TEST(ProjectSlotsTest)
#include "tst_projectslots.moc"
