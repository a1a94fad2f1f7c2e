#pragma once

#include "fileio/failure.h"
#include "generate/generation.h"
#include "generate/generationsettings.h"
#include "generate/projectfile.h"
#include "project/project.h"

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <memory>

class MainWindowForm;
class PreviewRun;
class QAction;
class QListWidgetItem;
class QMenu;
class QMimeData;
class SpriteViewer;

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
    /** The one way a sprite viewer opens: reads the ".art" at `path` and
     *  shows it in a new viewer window. A file that is not a valid sprite
     *  gets a warning box with the reader's reason and nothing else happens
     *  (null is returned). */
    SpriteViewer *openSprite(const QString &path);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    /** While a Load or Start runs: holds back the user's input to the
     *  window, and turns Escape into a cancel. */
    bool eventFilter(QObject *watched, QEvent *event) override;

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
    /** The settings Start and Preview run with, as the controls hold them. */
    kestrin::GenerationSettings generationSettings() const;
    void showStep(kestrin::GenerationStep step);
    /** The text of the "Generator Error" box for a failure; empty when it shows none. */
    static QString generatorErrorText(const kestrin::Failure &failure);

    // Menus (mainwindowmenus.cpp)
    void buildMenus();
    void showKeyboardShortcuts();
    void showAbout();

    // Sprites: opening and Preview (mainwindowsprites.cpp)
    void openSpriteDialog();
    /** Runs the generation into memory on a worker thread and shows the
     *  result in a viewer titled "Preview"; nothing is written. */
    void previewSprite();
    void previewFinished();

    /** Shows the box naming the file that did not load and why. */
    void showLoadFailure(const kestrin::Failure &failure);

    // Generation, continued (mainwindowgenerate.cpp)
    /** Asks whether a frame whose file failed to load may be written empty;
     *  true when there is none or the answer is Yes. */
    bool confirmFailedFrames();
    /** The save dialog of Browse; the path chosen, empty on Cancel. */
    QString askTarget();

    // Work off the window's thread (mainwindowrun.cpp)
    /** Runs `job` on a worker thread and returns when it has returned; the
     *  window repaints meanwhile and Escape sets `cancelRequested`. */
    void runInBackground(const std::function<void()> &job);
    /** Runs `show` on the window's thread and waits for it, so what a worker
     *  reports is on screen (and a cancel seen) before it goes on. */
    void showFromWorker(const std::function<void()> &show);

    // Menus, remembered settings and drops (mainwindowsettings.cpp)
    void addColourMenuEntries(QMenu *sprite);
    void addRecentSpritesMenu(QMenu *file);
    QMenu *menuNamed(const QString &title);
    void showColourOptions();
    void rememberSprite(const QString &path);

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
    QAction *m_previewAction = nullptr;
    PreviewRun *m_preview = nullptr;           // the Preview running, owned as a child
    kestrin::GenerationSettings colourOptions; // only its colour fields are used
    std::atomic_bool cancelRequested{false};   // set by Escape while a job runs
    bool running = false;                      // a Load or Start is running
    kestrin::Failure lastLoadFailure;          // of the latest Load (folder or frame)
};
