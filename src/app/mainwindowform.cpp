#include "app/mainwindowform.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

namespace {

// Creates a child widget with its object name and absolute geometry.
template<typename W>
W *place(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    W *widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(QRect(x, y, w, h));
    return widget;
}

QString tr(const char *source)
{
    return QCoreApplication::translate("MainWindow", source, nullptr);
}

} // namespace

void MainWindowForm::setupForm(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QString::fromLatin1("MainWindow"));
    window->resize(800, 500);
    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QString::fromLatin1("centralWidget"));

    gbFolder = place<QGroupBox>(centralWidget, "gbFolder", 10, 10, 251, 281);
    leSourceFolder = place<QLineEdit>(gbFolder, "leSourceFolder", 10, 20, 151, 21);
    pbBrowseFolder = place<QPushButton>(gbFolder, "pbBrowseFolder", 170, 20, 71, 21);
    leBrowseFormat = place<QLineEdit>(gbFolder, "leBrowseFormat", 10, 90, 110, 21);
    label = place<QLabel>(gbFolder, "label", 10, 70, 61, 16);
    label_2 = place<QLabel>(gbFolder, "label_2", 130, 90, 91, 16);
    label_3 = place<QLabel>(gbFolder, "label_3", 130, 100, 91, 16);
    leStageMin = place<QLineEdit>(gbFolder, "leStageMin", 80, 120, 41, 16);
    label_4 = place<QLabel>(gbFolder, "label_4", 10, 120, 71, 16);
    label_5 = place<QLabel>(gbFolder, "label_5", 10, 140, 71, 16);
    leStageMax = place<QLineEdit>(gbFolder, "leStageMax", 80, 140, 41, 16);
    label_6 = place<QLabel>(gbFolder, "label_6", 10, 160, 71, 16);
    leStageWidth = place<QLineEdit>(gbFolder, "leStageWidth", 80, 160, 41, 16);
    label_7 = place<QLabel>(gbFolder, "label_7", 130, 120, 71, 16);
    leFrameMin = place<QLineEdit>(gbFolder, "leFrameMin", 200, 120, 41, 16);
    label_8 = place<QLabel>(gbFolder, "label_8", 130, 140, 71, 16);
    label_9 = place<QLabel>(gbFolder, "label_9", 130, 160, 71, 16);
    leFrameMax = place<QLineEdit>(gbFolder, "leFrameMax", 200, 140, 41, 16);
    leFrameWidth = place<QLineEdit>(gbFolder, "leFrameWidth", 200, 160, 41, 16);
    label_10 = place<QLabel>(gbFolder, "label_10", 10, 200, 81, 16);
    lePreviewFirst = place<QLineEdit>(gbFolder, "lePreviewFirst", 10, 220, 113, 21);
    lePreviewNext = place<QLineEdit>(gbFolder, "lePreviewNext", 130, 220, 113, 21);
    lePreviewLast = place<QLineEdit>(gbFolder, "lePreviewLast", 10, 250, 113, 21);
    pbPreviewUpdate = place<QPushButton>(gbFolder, "pbPreviewUpdate", 150, 250, 75, 21);
    pbStageLoad = place<QPushButton>(gbFolder, "pbStageLoad", 170, 50, 71, 21);

    groupBox_3 = place<QGroupBox>(centralWidget, "groupBox_3", 270, 10, 261, 121);
    lwStageEdit = place<QListWidget>(groupBox_3, "lwStageEdit", 10, 30, 181, 81);
    lwStageEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pbStageNew = place<QPushButton>(groupBox_3, "pbStageNew", 200, 30, 51, 21);
    pbStageDelete = place<QPushButton>(groupBox_3, "pbStageDelete", 200, 60, 51, 21);
    pbStageClear = place<QPushButton>(groupBox_3, "pbStageClear", 200, 90, 51, 21);

    groupBox_4 = place<QGroupBox>(centralWidget, "groupBox_4", 270, 140, 261, 151);
    lwFrameEdit = place<QListWidget>(groupBox_4, "lwFrameEdit", 10, 30, 181, 81);
    lwFrameEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pbFrameNew = place<QPushButton>(groupBox_4, "pbFrameNew", 200, 30, 51, 21);
    pbFrameDelete = place<QPushButton>(groupBox_4, "pbFrameDelete", 200, 60, 51, 21);
    pbFrameLoad = place<QPushButton>(groupBox_4, "pbFrameLoad", 200, 90, 51, 21);
    pbBrowseFile = place<QPushButton>(groupBox_4, "pbBrowseFile", 200, 120, 51, 21);
    leSourceFile = place<QLineEdit>(groupBox_4, "leSourceFile", 10, 120, 181, 21);

    groupBox_5 = place<QGroupBox>(centralWidget, "groupBox_5", 540, 10, 241, 281);
    lblPreview = place<QLabel>(groupBox_5, "lblPreview", 10, 20, 221, 251);
    lblPreview->setFrameShape(QFrame::StyledPanel);
    lblPreview->setFrameShadow(QFrame::Sunken);
    lblPreview->setScaledContents(true);
    lblPreview->setTextInteractionFlags(Qt::NoTextInteraction);

    groupBox_7 = place<QGroupBox>(centralWidget, "groupBox_7", 270, 290, 511, 131);
    rbRotatable = place<QRadioButton>(groupBox_7, "rbRotatable", 10, 60, 82, 19);
    rbStatic = place<QRadioButton>(groupBox_7, "rbStatic", 10, 40, 82, 19);
    rbStatic->setChecked(true);
    label_11 = place<QLabel>(groupBox_7, "label_11", 10, 20, 46, 14);
    pbStart = place<QPushButton>(groupBox_7, "pbStart", 430, 70, 71, 21);
    sbFrameRate = place<QSpinBox>(groupBox_7, "sbFrameRate", 100, 100, 51, 21);
    label_12 = place<QLabel>(groupBox_7, "label_12", 100, 80, 61, 16);
    sbHitFrame = place<QSpinBox>(groupBox_7, "sbHitFrame", 10, 100, 51, 21);
    label_13 = place<QLabel>(groupBox_7, "label_13", 10, 80, 71, 16);
    pbBrowseTarget = place<QPushButton>(groupBox_7, "pbBrowseTarget", 430, 40, 71, 21);
    leTargetFile = place<QLineEdit>(groupBox_7, "leTargetFile", 220, 40, 201, 21);
    label_14 = place<QLabel>(groupBox_7, "label_14", 220, 20, 61, 16);
    pbTotal = place<QProgressBar>(groupBox_7, "pbTotal", 220, 70, 201, 21);
    pbTotal->setValue(0);
    pbTotal->setAlignment(Qt::AlignCenter);
    sbPaletteCount = place<QSpinBox>(groupBox_7, "sbPaletteCount", 100, 40, 51, 21);
    sbPaletteCount->setMinimum(1);
    sbPaletteCount->setMaximum(4);
    sbPaletteCount->setValue(4);
    label_15 = place<QLabel>(groupBox_7, "label_15", 100, 20, 71, 16);
    lblProgress = place<QLabel>(groupBox_7, "lblProgress", 220, 100, 281, 21);
    lblProgress->setFrameShape(QFrame::Box);
    lblProgress->setFrameShadow(QFrame::Sunken);

    groupBox_6 = place<QGroupBox>(centralWidget, "groupBox_6", 10, 290, 251, 131);
    cbBoundRect = place<QCheckBox>(groupBox_6, "cbBoundRect", 10, 20, 131, 19);
    cbBoundRect->setChecked(true);
    cbApplyAlpha = place<QCheckBox>(groupBox_6, "cbApplyAlpha", 10, 40, 131, 19);
    leRed = place<QLineEdit>(groupBox_6, "leRed", 10, 60, 31, 16);
    leGreen = place<QLineEdit>(groupBox_6, "leGreen", 40, 60, 31, 16);
    leBlue = place<QLineEdit>(groupBox_6, "leBlue", 70, 60, 31, 16);
    pbPickColor = place<QPushButton>(groupBox_6, "pbPickColor", 110, 60, 41, 16);
    pbUtilsApply = place<QPushButton>(groupBox_6, "pbUtilsApply", 180, 20, 61, 21);

    window->setCentralWidget(centralWidget);

    menuBar = place<QMenuBar>(window, "menuBar", 0, 0, 800, 19);
    window->setMenuBar(menuBar);
    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QString::fromLatin1("mainToolBar"));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QString::fromLatin1("statusBar"));
    window->setStatusBar(statusBar);

    retranslateForm(window);

    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateForm(QMainWindow *window)
{
    window->setWindowTitle(tr("Kestrin v0.1"));
    gbFolder->setTitle(tr("Source Folder"));
    leSourceFolder->setText(tr("Load frames from folder..."));
    pbBrowseFolder->setText(tr("Browse"));
    leBrowseFormat->setText(tr("camera%1_%2.bmp"));
    label->setText(tr("File Format:"));
    label_2->setText(tr("%1 = Stage Index"));
    label_3->setText(tr("%2 = Frame Index"));
    leStageMin->setText(tr("1"));
    label_4->setText(tr("Stage Min:"));
    label_5->setText(tr("Stage Max:"));
    leStageMax->setText(tr("99"));
    label_6->setText(tr("Stage Width:"));
    leStageWidth->setText(tr("2"));
    label_7->setText(tr("Frame Min:"));
    leFrameMin->setText(tr("0"));
    label_8->setText(tr("Frame Max:"));
    label_9->setText(tr("Frame Width:"));
    leFrameMax->setText(tr("9999"));
    leFrameWidth->setText(tr("4"));
    label_10->setText(tr("Browse Preview:"));
    lePreviewFirst->setText(tr("First file..."));
    lePreviewNext->setText(tr("Next file..."));
    lePreviewLast->setText(tr("Last file..."));
    pbPreviewUpdate->setText(tr("Update"));
    pbStageLoad->setText(tr("Load"));
    groupBox_3->setTitle(tr("Stage Edit"));
    pbStageNew->setText(tr("New"));
    pbStageDelete->setText(tr("Delete"));
    pbStageClear->setText(tr("Clear"));
    groupBox_4->setTitle(tr("Frame Edit"));
    pbFrameNew->setText(tr("New"));
    pbFrameDelete->setText(tr("Delete"));
    pbFrameLoad->setText(tr("Load"));
    pbBrowseFile->setText(tr("Browse"));
    leSourceFile->setText(tr("Load frame from file..."));
    groupBox_5->setTitle(tr("Preview"));
    lblPreview->setStyleSheet(tr("background-color: rgb(170, 170, 127);"));
    lblPreview->setText(QString());
    groupBox_7->setTitle(tr("Generate"));
    rbRotatable->setText(tr("Rotatable"));
    rbStatic->setText(tr("Static"));
    label_11->setText(tr("Type:"));
    pbStart->setText(tr("Start"));
    label_12->setText(tr("Frame Rate:"));
    label_13->setText(tr("Hit Frame:"));
    pbBrowseTarget->setText(tr("Browse"));
    leTargetFile->setText(tr("Where to save Art?"));
    label_14->setText(tr("Target File:"));
    pbTotal->setStyleSheet(tr("background-color: rgb(170, 170, 0);"));
    label_15->setText(tr("Palette Count:"));
    lblProgress->setText(QString());
    groupBox_6->setTitle(tr("Utils"));
    cbBoundRect->setText(tr("Apply bound rectangle"));
    cbApplyAlpha->setText(tr("Apply transparency"));
    leRed->setText(tr("R"));
    leGreen->setText(tr("G"));
    leBlue->setText(tr("B"));
    pbPickColor->setText(tr("Pick"));
    pbUtilsApply->setText(tr("Apply"));
}
