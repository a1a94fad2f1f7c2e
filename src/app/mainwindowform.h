#pragma once

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QWidget;

/** The main window's fixed widget tree. Every member is named after the
 *  widget's object name and declared in creation order, which is also the
 *  keyboard focus order. The pointers do not own: the widgets belong to the
 *  window. */
class MainWindowForm
{
public:
    QWidget *centralWidget = nullptr;

    QGroupBox *gbFolder = nullptr;
    QLineEdit *leSourceFolder = nullptr;
    QPushButton *pbBrowseFolder = nullptr;
    QLineEdit *leBrowseFormat = nullptr;
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *label_3 = nullptr;
    QLineEdit *leStageMin = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *label_5 = nullptr;
    QLineEdit *leStageMax = nullptr;
    QLabel *label_6 = nullptr;
    QLineEdit *leStageWidth = nullptr;
    QLabel *label_7 = nullptr;
    QLineEdit *leFrameMin = nullptr;
    QLabel *label_8 = nullptr;
    QLabel *label_9 = nullptr;
    QLineEdit *leFrameMax = nullptr;
    QLineEdit *leFrameWidth = nullptr;
    QLabel *label_10 = nullptr;
    QLineEdit *lePreviewFirst = nullptr;
    QLineEdit *lePreviewNext = nullptr;
    QLineEdit *lePreviewLast = nullptr;
    QPushButton *pbPreviewUpdate = nullptr;
    QPushButton *pbStageLoad = nullptr;

    QGroupBox *groupBox_3 = nullptr;
    QListWidget *lwStageEdit = nullptr;
    QPushButton *pbStageNew = nullptr;
    QPushButton *pbStageDelete = nullptr;
    QPushButton *pbStageClear = nullptr;

    QGroupBox *groupBox_4 = nullptr;
    QListWidget *lwFrameEdit = nullptr;
    QPushButton *pbFrameNew = nullptr;
    QPushButton *pbFrameDelete = nullptr;
    QPushButton *pbFrameLoad = nullptr;
    QPushButton *pbBrowseFile = nullptr;
    QLineEdit *leSourceFile = nullptr;

    QGroupBox *groupBox_5 = nullptr;
    QLabel *lblPreview = nullptr;

    QGroupBox *groupBox_7 = nullptr;
    QRadioButton *rbRotatable = nullptr;
    QRadioButton *rbStatic = nullptr;
    QLabel *label_11 = nullptr;
    QPushButton *pbStart = nullptr;
    QSpinBox *sbFrameRate = nullptr;
    QLabel *label_12 = nullptr;
    QSpinBox *sbHitFrame = nullptr;
    QLabel *label_13 = nullptr;
    QPushButton *pbBrowseTarget = nullptr;
    QLineEdit *leTargetFile = nullptr;
    QLabel *label_14 = nullptr;
    QProgressBar *pbTotal = nullptr;
    QSpinBox *sbPaletteCount = nullptr;
    QLabel *label_15 = nullptr;
    QLabel *lblProgress = nullptr;

    QGroupBox *groupBox_6 = nullptr;
    QCheckBox *cbBoundRect = nullptr;
    QCheckBox *cbApplyAlpha = nullptr;
    QLineEdit *leRed = nullptr;
    QLineEdit *leGreen = nullptr;
    QLineEdit *leBlue = nullptr;
    QPushButton *pbPickColor = nullptr;
    QPushButton *pbUtilsApply = nullptr;

    QMenuBar *menuBar = nullptr;
    QToolBar *mainToolBar = nullptr;
    QStatusBar *statusBar = nullptr;

    /** Builds the whole tree on `window`, sets every text through
     *  retranslateForm, then binds the window's on_<name>_<signal> slots by
     *  name. Initial values are set before the binding, so none reaches a slot. */
    void setupForm(QMainWindow *window);
    /** Sets the window title and every text, title and style sheet through the
     *  translation call with the context "MainWindow". */
    void retranslateForm(QMainWindow *window);
};
