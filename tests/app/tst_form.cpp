// The window as a user first sees it: every widget, its place and its
// starting state, the focus chain, the settings the controls feed, and the
// three browse dialogs.
#include "inspector.h"
#include "testmain.h"
#include "windowfixtures.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

// Every widget of the form in creation order: name, class, parent, geometry, text.
struct WidgetRow {
    const char *name;
    const char *className;
    const char *parent;
    QRect geometry;
    const char *text; // title, button/label/line-edit text; nullptr when not checked
};

const WidgetRow kWidgets[] = {
    {"gbFolder", "QGroupBox", "centralWidget", {10, 10, 251, 281}, "Source Folder"},
    {"leSourceFolder", "QLineEdit", "gbFolder", {10, 20, 151, 21}, "Load frames from folder..."},
    {"pbBrowseFolder", "QPushButton", "gbFolder", {170, 20, 71, 21}, "Browse"},
    {"leBrowseFormat", "QLineEdit", "gbFolder", {10, 90, 110, 21}, "camera%1_%2.bmp"},
    {"label", "QLabel", "gbFolder", {10, 70, 61, 16}, "File Format:"},
    {"label_2", "QLabel", "gbFolder", {130, 90, 91, 16}, "%1 = Stage Index"},
    {"label_3", "QLabel", "gbFolder", {130, 100, 91, 16}, "%2 = Frame Index"},
    {"leStageMin", "QLineEdit", "gbFolder", {80, 120, 41, 16}, "1"},
    {"label_4", "QLabel", "gbFolder", {10, 120, 71, 16}, "Stage Min:"},
    {"label_5", "QLabel", "gbFolder", {10, 140, 71, 16}, "Stage Max:"},
    {"leStageMax", "QLineEdit", "gbFolder", {80, 140, 41, 16}, "99"},
    {"label_6", "QLabel", "gbFolder", {10, 160, 71, 16}, "Stage Width:"},
    {"leStageWidth", "QLineEdit", "gbFolder", {80, 160, 41, 16}, "2"},
    {"label_7", "QLabel", "gbFolder", {130, 120, 71, 16}, "Frame Min:"},
    {"leFrameMin", "QLineEdit", "gbFolder", {200, 120, 41, 16}, "0"},
    {"label_8", "QLabel", "gbFolder", {130, 140, 71, 16}, "Frame Max:"},
    {"label_9", "QLabel", "gbFolder", {130, 160, 71, 16}, "Frame Width:"},
    {"leFrameMax", "QLineEdit", "gbFolder", {200, 140, 41, 16}, "9999"},
    {"leFrameWidth", "QLineEdit", "gbFolder", {200, 160, 41, 16}, "4"},
    {"label_10", "QLabel", "gbFolder", {10, 200, 81, 16}, "Browse Preview:"},
    {"lePreviewFirst", "QLineEdit", "gbFolder", {10, 220, 113, 21}, "First file..."},
    {"lePreviewNext", "QLineEdit", "gbFolder", {130, 220, 113, 21}, "Next file..."},
    {"lePreviewLast", "QLineEdit", "gbFolder", {10, 250, 113, 21}, "Last file..."},
    {"pbPreviewUpdate", "QPushButton", "gbFolder", {150, 250, 75, 21}, "Update"},
    {"pbStageLoad", "QPushButton", "gbFolder", {170, 50, 71, 21}, "Load"},
    {"groupBox_3", "QGroupBox", "centralWidget", {270, 10, 261, 121}, "Stage Edit"},
    {"lwStageEdit", "QListWidget", "groupBox_3", {10, 30, 181, 81}, nullptr},
    {"pbStageNew", "QPushButton", "groupBox_3", {200, 30, 51, 21}, "New"},
    {"pbStageDelete", "QPushButton", "groupBox_3", {200, 60, 51, 21}, "Delete"},
    {"pbStageClear", "QPushButton", "groupBox_3", {200, 90, 51, 21}, "Clear"},
    {"groupBox_4", "QGroupBox", "centralWidget", {270, 140, 261, 151}, "Frame Edit"},
    {"lwFrameEdit", "QListWidget", "groupBox_4", {10, 30, 181, 81}, nullptr},
    {"pbFrameNew", "QPushButton", "groupBox_4", {200, 30, 51, 21}, "New"},
    {"pbFrameDelete", "QPushButton", "groupBox_4", {200, 60, 51, 21}, "Delete"},
    {"pbFrameLoad", "QPushButton", "groupBox_4", {200, 90, 51, 21}, "Load"},
    {"pbBrowseFile", "QPushButton", "groupBox_4", {200, 120, 51, 21}, "Browse"},
    {"leSourceFile", "QLineEdit", "groupBox_4", {10, 120, 181, 21}, "Load frame from file..."},
    {"groupBox_5", "QGroupBox", "centralWidget", {540, 10, 241, 281}, "Preview"},
    {"lblPreview", "QLabel", "groupBox_5", {10, 20, 221, 251}, ""},
    {"groupBox_7", "QGroupBox", "centralWidget", {270, 290, 511, 131}, "Generate"},
    {"rbRotatable", "QRadioButton", "groupBox_7", {10, 60, 82, 19}, "Rotatable"},
    {"rbStatic", "QRadioButton", "groupBox_7", {10, 40, 82, 19}, "Static"},
    {"label_11", "QLabel", "groupBox_7", {10, 20, 46, 14}, "Type:"},
    {"pbStart", "QPushButton", "groupBox_7", {430, 70, 71, 21}, "Start"},
    {"sbFrameRate", "QSpinBox", "groupBox_7", {100, 100, 51, 21}, nullptr},
    {"label_12", "QLabel", "groupBox_7", {100, 80, 61, 16}, "Frame Rate:"},
    {"sbHitFrame", "QSpinBox", "groupBox_7", {10, 100, 51, 21}, nullptr},
    {"label_13", "QLabel", "groupBox_7", {10, 80, 71, 16}, "Hit Frame:"},
    {"pbBrowseTarget", "QPushButton", "groupBox_7", {430, 40, 71, 21}, "Browse"},
    {"leTargetFile", "QLineEdit", "groupBox_7", {220, 40, 201, 21}, "Where to save Art?"},
    {"label_14", "QLabel", "groupBox_7", {220, 20, 61, 16}, "Target File:"},
    {"pbTotal", "QProgressBar", "groupBox_7", {220, 70, 201, 21}, nullptr},
    {"sbPaletteCount", "QSpinBox", "groupBox_7", {100, 40, 51, 21}, nullptr},
    {"label_15", "QLabel", "groupBox_7", {100, 20, 71, 16}, "Palette Count:"},
    {"lblProgress", "QLabel", "groupBox_7", {220, 100, 281, 21}, ""},
    {"groupBox_6", "QGroupBox", "centralWidget", {10, 290, 251, 131}, "Utils"},
    {"cbBoundRect", "QCheckBox", "groupBox_6", {10, 20, 131, 19}, "Apply bound rectangle"},
    {"cbApplyAlpha", "QCheckBox", "groupBox_6", {10, 40, 131, 19}, "Apply transparency"},
    {"leRed", "QLineEdit", "groupBox_6", {10, 60, 31, 16}, "R"},
    {"leGreen", "QLineEdit", "groupBox_6", {40, 60, 31, 16}, "G"},
    {"leBlue", "QLineEdit", "groupBox_6", {70, 60, 31, 16}, "B"},
    {"pbPickColor", "QPushButton", "groupBox_6", {110, 60, 41, 16}, "Pick"},
    {"pbUtilsApply", "QPushButton", "groupBox_6", {180, 20, 61, 21}, "Apply"},
};

QString textOf(QWidget *w)
{
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    return QString();
}

// Answers the next modal file dialog: accepts `path` or, when empty, cancels.
void answerFileDialog(const QString &path)
{
    QTimer::singleShot(0, [path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    // The dialogs start in the folders they remember; here they remember none.
    void init() { windowfixture::clearSettings(); }

    void windowFrame()
    {
        MainWindow w;
        QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(w.size(), QSize(800, 500));
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrin v0.1"));
        MainWindowForm &f = MainWindowInspector::form(w);
        QCOMPARE(w.centralWidget(), f.centralWidget);
        QCOMPARE(f.centralWidget->objectName(), QStringLiteral("centralWidget"));
        QCOMPARE(w.menuBar(), f.menuBar);
        QCOMPARE(f.menuBar->objectName(), QStringLiteral("menuBar"));
        QCOMPARE(f.menuBar->geometry(), QRect(0, 0, 800, 19));
        QStringList menus;
        for (QAction *menu : f.menuBar->actions())
            menus << menu->text();
        QCOMPARE(menus, QStringList({"&File", "&Sprite", "&Help"}));
        QCOMPARE(f.mainToolBar->objectName(), QStringLiteral("mainToolBar"));
        QCOMPARE(w.toolBarArea(f.mainToolBar), Qt::TopToolBarArea);
        QVERIFY(f.mainToolBar->actions().isEmpty());
        QVERIFY(f.mainToolBar->windowTitle().isEmpty());
        QCOMPARE(w.statusBar(), f.statusBar);
        QCOMPARE(f.statusBar->objectName(), QStringLiteral("statusBar"));
        // 67 widgets in the form: the central widget, the 63 of the group
        // boxes and the menu, tool and status bars.
        QCOMPARE(int(std::size(kWidgets)) + 4, 67);
    }

    void menusLeaveTheFormInPlace()
    {
        // The form sits whole right below the menu bar and the empty tool
        // bar, with every control where the form puts it.
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MainWindowForm &f = MainWindowInspector::form(w);
        QCOMPARE(f.menuBar->geometry(), QRect(0, 0, 800, f.menuBar->sizeHint().height()));
        QCOMPARE(f.centralWidget->y(), f.menuBar->height() + f.mainToolBar->height());
        QVERIFY(f.centralWidget->rect().contains(f.groupBox_7->geometry()));
        QVERIFY(f.centralWidget->rect().contains(f.groupBox_6->geometry()));
    }

    void widgets_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kWidgets)); ++i)
            QTest::newRow(kWidgets[i].name) << i;
    }

    void widgets()
    {
        QFETCH(int, row);
        const WidgetRow &expected = kWidgets[row];
        MainWindow w;
        auto *widget = w.findChild<QWidget *>(QString::fromLatin1(expected.name));
        QVERIFY(widget);
        QCOMPARE(widget->metaObject()->className(), expected.className);
        QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(expected.parent));
        QCOMPARE(widget->geometry(), expected.geometry);
        if (expected.text)
            QCOMPARE(textOf(widget), QString::fromUtf8(expected.text));
        if (auto *box = qobject_cast<QGroupBox *>(widget)) {
            QVERIFY(!box->isCheckable());
            QVERIFY(!box->isFlat());
        }
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            QVERIFY(!edit->isReadOnly());
            QVERIFY(edit->placeholderText().isEmpty());
            QVERIFY(!edit->validator());
            QCOMPARE(edit->maxLength(), 32767);
        }
        QVERIFY(widget->toolTip().isEmpty());
    }

    void initialStates()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        QVERIFY(f.rbStatic->isChecked());
        QVERIFY(!f.rbRotatable->isChecked());
        QVERIFY(f.cbBoundRect->isChecked());
        QVERIFY(!f.cbApplyAlpha->isChecked());
        QCOMPARE(f.sbPaletteCount->value(), 4);
        QCOMPARE(f.sbPaletteCount->minimum(), 1);
        QCOMPARE(f.sbPaletteCount->maximum(), 4);
        for (QSpinBox *box : {f.sbFrameRate, f.sbHitFrame}) {
            QCOMPARE(box->value(), 0);
            QCOMPARE(box->minimum(), 0);
            QCOMPARE(box->maximum(), 99);
        }
        QCOMPARE(f.pbTotal->value(), 0);
        QCOMPARE(f.pbTotal->minimum(), 0);
        QCOMPARE(f.pbTotal->maximum(), 100);
        QCOMPARE(f.pbTotal->alignment(), Qt::AlignCenter);
        QCOMPARE(f.pbTotal->styleSheet(), QStringLiteral("background-color: rgb(170, 170, 0);"));
        QCOMPARE(f.lblPreview->styleSheet(), QStringLiteral("background-color: rgb(170, 170, 127);"));
        QCOMPARE(f.lblPreview->frameShape(), QFrame::StyledPanel);
        QCOMPARE(f.lblPreview->frameShadow(), QFrame::Sunken);
        QVERIFY(f.lblPreview->hasScaledContents());
        QCOMPARE(f.lblPreview->textInteractionFlags(), Qt::NoTextInteraction);
        QVERIFY(f.lblPreview->pixmap().isNull());
        QCOMPARE(f.lblProgress->frameShape(), QFrame::Box);
        QCOMPARE(f.lblProgress->frameShadow(), QFrame::Sunken);
        for (QListWidget *list : {f.lwStageEdit, f.lwFrameEdit}) {
            QCOMPARE(list->count(), 0);
            QCOMPARE(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        }
        for (QLabel *label : w.findChildren<QLabel *>())
            QVERIFY(!label->buddy());
    }

    void focusChainFollowsCreationOrder()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList expected;
        for (const WidgetRow &row : kWidgets) {
            auto *widget = w.findChild<QWidget *>(QString::fromLatin1(row.name));
            if (widget->focusPolicy() & Qt::TabFocus)
                expected << QString::fromLatin1(row.name);
        }
        QCOMPARE(expected.first(), QStringLiteral("leSourceFolder"));
        QCOMPARE(expected.last(), QStringLiteral("pbUtilsApply"));

        QStringList chain;
        QWidget *start = w.findChild<QWidget *>(QStringLiteral("leSourceFolder"));
        QWidget *widget = start;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(&w)
                && !widget->objectName().startsWith(QLatin1String("qt_")) && widget->parentWidget()
                && !qobject_cast<QAbstractItemView *>(widget->parentWidget()))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != start);
        QStringList ours;
        for (const QString &name : chain)
            if (expected.contains(name))
                ours << name;
        QCOMPARE(ours, expected);
    }

    void resizingMovesNothing()
    {
        MainWindow w;
        w.show();
        auto *start = w.findChild<QWidget *>(QStringLiteral("pbStart"));
        const QRect before = start->geometry();
        w.resize(1000, 700);
        QCoreApplication::processEvents();
        QCOMPARE(start->geometry(), before);
        QCOMPARE(w.findChild<QWidget *>(QStringLiteral("gbFolder"))->geometry(), QRect(10, 10, 251, 281));
    }

    void settingsFollowTheControls()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        // Untouched: what the window shows is what a run would use.
        QCOMPARE(MainWindowInspector::paletteCount(w), 4u);
        QCOMPARE(MainWindowInspector::frameRate(w), 0);
        QCOMPARE(MainWindowInspector::hitFrame(w), 0);
        QCOMPARE(MainWindowInspector::rotatable(w), 0u);

        f.sbPaletteCount->setFocus();
        QTest::keyClick(f.sbPaletteCount, Qt::Key_Down);
        QCOMPARE(f.sbPaletteCount->value(), 3);
        QCOMPARE(MainWindowInspector::paletteCount(w), 3u);
        QTest::keyClick(f.sbPaletteCount, Qt::Key_Up);
        QCOMPARE(MainWindowInspector::paletteCount(w), 4u);

        f.sbFrameRate->setValue(25);
        f.sbHitFrame->setValue(7);
        QCOMPARE(MainWindowInspector::frameRate(w), 25);
        QCOMPARE(MainWindowInspector::hitFrame(w), 7);
        f.sbFrameRate->setValue(500); // clamped by the widget's range
        QCOMPARE(MainWindowInspector::frameRate(w), 99);

        QTest::mouseClick(f.rbRotatable, Qt::LeftButton, {}, QPoint(5, 9));
        QVERIFY(f.rbRotatable->isChecked());
        QCOMPARE(MainWindowInspector::rotatable(w), 1u);
        QTest::mouseClick(f.rbStatic, Qt::LeftButton, {}, QPoint(5, 9));
        QVERIFY(f.rbStatic->isChecked());
        QCOMPARE(MainWindowInspector::rotatable(w), 0u);
    }

    void cancelledDialogsLeaveTheirTexts()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        f.leSourceFile->setText(QStringLiteral("frame.png"));
        answerFileDialog(QString());
        QTest::mouseClick(f.pbBrowseFile, Qt::LeftButton);
        QCOMPARE(f.leSourceFile->text(), QStringLiteral("frame.png"));
        answerFileDialog(QString());
        QTest::mouseClick(f.pbBrowseFolder, Qt::LeftButton);
        QCOMPARE(f.leSourceFolder->text(), QStringLiteral("Load frames from folder..."));
        answerFileDialog(QString());
        QTest::mouseClick(f.pbBrowseTarget, Qt::LeftButton);
        QCOMPARE(f.leTargetFile->text(), QStringLiteral("Where to save Art?"));
    }

    void dialogsAreSetUpAsDescribed()
    {
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);
        struct Seen {
            QString title, filter, directory, selected;
            QFileDialog::FileMode mode;
            QFileDialog::AcceptMode accept;
            bool dirsOnly, noSymlinks, confirmOverwrite;
            QWidget *parent;
        };
        auto inspectAndCancel = [](Seen *seen) {
            QTimer::singleShot(0, [seen] {
                auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(d);
                *seen = {d->windowTitle(), d->nameFilters().join(QLatin1String(";;")),
                         d->directory().absolutePath(), d->selectedFiles().value(0), d->fileMode(),
                         d->acceptMode(), d->testOption(QFileDialog::ShowDirsOnly),
                         d->testOption(QFileDialog::DontResolveSymlinks),
                         !d->testOption(QFileDialog::DontConfirmOverwrite), d->parentWidget()};
                QVERIFY(d->isModal());
                d->reject();
            });
        };
        Seen seen{};
        inspectAndCancel(&seen);
        QTest::mouseClick(f.pbBrowseFile, Qt::LeftButton);
        QCOMPARE(seen.title, QStringLiteral("Open File"));
        for (const char *suffix : {"*.bmp", "*.png", "*.jpg", "*.gif", "*.tga", "*.tif", "*.tiff", "*.webp", "*.psd"})
            QVERIFY2(seen.filter.contains(QLatin1String(suffix)), suffix);
        QCOMPARE(seen.mode, QFileDialog::ExistingFile);
        QCOMPARE(seen.directory, QStringLiteral("/home"));
        QCOMPARE(seen.parent, &w);

        inspectAndCancel(&seen);
        QTest::mouseClick(f.pbBrowseFolder, Qt::LeftButton);
        QCOMPARE(seen.title, QStringLiteral("Open Directory"));
        QCOMPARE(seen.mode, QFileDialog::Directory);
        QVERIFY(seen.dirsOnly);
        QVERIFY(seen.noSymlinks);
        QCOMPARE(seen.directory, QStringLiteral("/home"));

        inspectAndCancel(&seen);
        QTest::mouseClick(f.pbBrowseTarget, Qt::LeftButton);
        QCOMPARE(seen.title, QStringLiteral("Save File"));
        QCOMPARE(seen.filter, QStringLiteral("Sprite (*.art)"));
        QCOMPARE(seen.accept, QFileDialog::AcceptSave);
        QVERIFY(seen.confirmOverwrite);
        QCOMPARE(seen.selected, QStringLiteral("/home/file.art"));
    }

    void acceptedDialogsFillTheFields()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString image = dir.filePath(QStringLiteral("frame.png"));
        QImage(4, 4, QImage::Format_ARGB32).save(image);
        MainWindow w;
        MainWindowForm &f = MainWindowInspector::form(w);

        answerFileDialog(image);
        QTest::mouseClick(f.pbBrowseFile, Qt::LeftButton);
        QCOMPARE(f.leSourceFile->text(), image);

        answerFileDialog(dir.path());
        QTest::mouseClick(f.pbBrowseFolder, Qt::LeftButton);
        QCOMPARE(f.leSourceFolder->text(), dir.path() + QLatin1Char('/'));

        const QString target = dir.filePath(QStringLiteral("out.art"));
        answerFileDialog(target);
        QTest::mouseClick(f.pbBrowseTarget, Qt::LeftButton);
        QCOMPARE(f.leTargetFile->text(), target);
    }
};

KESTRIN_TEST(FormTest)
#include "tst_form.moc"
