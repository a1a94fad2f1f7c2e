// The window's hold on the project: "Clear", the stage list view, item
// handles.
#include "inspector.h"
#include "testmain.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

class ModelTest : public QObject
{
    Q_OBJECT

private slots:
    void clearWithoutStagesLeavesTheListsAlone()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        f.lwStageEdit->addItem(QStringLiteral("stray"));
        f.lwFrameEdit->addItem(QStringLiteral("stray"));
        QTest::mouseClick(f.pbStageClear, Qt::LeftButton);
        QCOMPARE(f.lwStageEdit->count(), 1);
        QCOMPARE(f.lwFrameEdit->count(), 1);
        QVERIFY(MainWindowInspector::clearStages(w));
    }

    void clearDestroysTheProject()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        kestrin::Project &project = MainWindowInspector::project(w);
        for (int s = 0; s < 3; ++s) {
            kestrin::Stage *stage = project.appendStage();
            for (int i = 0; i < s + 1; ++i)
                stage->appendFrame()->sourceImage = QImage(2, 2, QImage::Format_ARGB32);
        }
        QVERIFY(MainWindowInspector::refreshStageList(w));
        f.lwFrameEdit->addItem(QStringLiteral("Frame 0"));
        f.lwStageEdit->setCurrentRow(1);
        QTest::mouseClick(f.pbStageClear, Qt::LeftButton);
        QCOMPARE(project.stageCount, 0u);
        QVERIFY(project.stages.empty());
        QCOMPARE(f.lwStageEdit->count(), 0);
        QCOMPARE(f.lwFrameEdit->count(), 0);
    }

    void refreshStageListNumbersByPosition()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        QVERIFY(!MainWindowInspector::refreshStageList(w));
        QCOMPARE(f.lwStageEdit->count(), 0);

        kestrin::Project &project = MainWindowInspector::project(w);
        for (int s = 0; s < 3; ++s)
            project.appendStage();
        f.lwStageEdit->addItem(QStringLiteral("kept"));
        QVERIFY(MainWindowInspector::refreshStageList(w));
        QCOMPARE(f.lwStageEdit->count(), 4); // appended, not replaced
        QVERIFY(f.lwStageEdit->selectedItems().isEmpty());
        for (int i = 0; i < 3; ++i) {
            QListWidgetItem *item = f.lwStageEdit->item(i + 1);
            QCOMPARE(item->text(), QStringLiteral("Stage %1").arg(i));
            QCOMPARE(item->type(), int(QListWidgetItem::Type));
            // The handle is pointer-sized, so it survives any address.
            const QVariant handle = item->data(Qt::UserRole);
            QCOMPARE(handle.metaType(), QMetaType::fromType<quintptr>());
            QCOMPARE(handle.value<quintptr>(), reinterpret_cast<quintptr>(project.stages[i].get()));
        }
    }
};

KESTRIN_TEST(ModelTest)
#include "tst_model.moc"
