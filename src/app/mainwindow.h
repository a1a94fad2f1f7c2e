#pragma once

#include "generate/projectfile.h"
#include "project/project.h"

#include <QMainWindow>

#include <memory>

class MainWindowForm;
class QListWidgetItem;
class QMenu;

/** Kestrin's only window: the form, the project and the four generation
 *  settings. Every user action enters through one of the slots below; the
 *  slots read the form, call the core once and show the result. */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /** Adds Open project..., Save project (Ctrl+S) and Save project as... to
     *  `fileMenu`, or to a File menu made for them when it is null. */
    void addProjectEntries(QMenu *fileMenu);

private slots:
    void on_rbRotatable_toggled(bool checked);
    void on_rbStatic_toggled(bool checked);
    void on_pbFrameLoad_clicked();
    void on_pbStageClear_clicked();
    void on_pbBrowseTarget_clicked();
    void on_sbHitFrame_valueChanged(int value);
    void on_sbFrameRate_valueChanged(int value);
    void on_sbPaletteCount_valueChanged(int value);
    void on_pbStart_clicked();
    void on_pbBrowseFolder_clicked();
    void on_pbBrowseFile_clicked();
    void on_pbFrameDelete_clicked();
    void on_pbFrameNew_clicked();
    void on_pbStageLoad_clicked();
    void on_pbStageDelete_clicked();
    void on_pbStageNew_clicked();
    void on_pbPickColor_clicked();
    void on_pbUtilsApply_clicked();
    void on_lwFrameEdit_itemSelectionChanged();
    void on_lwStageEdit_itemSelectionChanged();
    void on_pbPreviewUpdate_clicked();

private:
    // Project model (mainwindow.cpp)
    bool loadFrame(kestrin::Frame *frame, const QString &path);
    bool clearStages();
    bool refreshStageList();

    // Loading from a folder (mainwindowproject.cpp)
    bool GenFile(const QString &folder, const QString &pattern, quint32 stageMin, quint32 stageMax, int stageWidth,
                 quint32 frameMin, quint32 frameMax, int frameWidth);

    // Project files (mainwindowprojectfile.cpp)
    bool openProject(const QString &path);
    bool saveProject(const QString &path);
    kestrin::BuildProject projectOfForm() const;

    // Generation (mainwindowgenerate.cpp)
    bool generateArt(const QString &targetPath);

    // Frame utilities (mainwindowutils.cpp)
    bool applyBoundRect(bool enabled);
    bool applyTransparency(bool enabled);

    // List items carry the identity of their Stage or Frame as a pointer-sized handle.
    static QVariant handleOf(const void *object);
    kestrin::Stage *selectedStage() const;
    kestrin::Frame *selectedFrame() const;

    friend class MainWindowInspector; // read-only access for the test suite

    std::unique_ptr<MainWindowForm> ui;
    kestrin::Project project; // stages and stageCount
    qint32 frameRate = 0;
    qint32 hitFrame = 0;
    quint32 paletteCount = 4; // starts equal to what sbPaletteCount shows
    quint32 rotatable = 0;    // 1 = rotatable, 0 = static

    QString projectPath;               // the project file opened or saved last; empty before
    kestrin::BuildProject projectKept; // what the form does not show (colour options, listed frames), kept for Save
};
