// Project files: File > Open project..., Save project, Save project as...
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "project/framelist.h"
#include "wording/failuretext.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QSpinBox>

namespace {

/** The colour options of `from` (what the Colour options dialog shows) into `to`. */
void copyColourFields(const kestrin::GenerationSettings &from, kestrin::GenerationSettings &to)
{
    to.useKey = from.useKey;
    to.keyColor = from.keyColor;
    to.keyTolerance = from.keyTolerance;
    to.alphaThreshold = from.alphaThreshold;
    to.colorBudget = from.colorBudget;
    to.quantizer = from.quantizer;
    to.dither = from.dither;
    to.paletteFile = from.paletteFile;
}

const QString kFilter = QStringLiteral("Kestrin projects (*.kestrin)");

/** The window's folder text is a prefix put before every name; a project
 *  holds a folder and a pattern, so whatever follows the last '/' moves to
 *  the front of the pattern. The paths the two name are the same. */
void splitFolderText(const QString &text, QString *folder, QString *patternPrefix)
{
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    *folder = text.left(slash + 1);
    *patternPrefix = text.mid(slash + 1);
}

/** True when some frame was trimmed, which a project says with `trim`. */
bool anyFrameTrimmed(const kestrin::Project &project)
{
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            if (frame->boundRect != kestrin::BoundRect())
                return true;
        }
    }
    return false;
}

/** The menu bar's File menu, or null. */
QMenu *fileMenuOf(QMenuBar *bar)
{
    for (QAction *action : bar->actions()) {
        if (action->menu() && action->text().remove(QLatin1Char('&')) == QLatin1String("File"))
            return action->menu();
    }
    return nullptr;
}

/** The frames of `project` as a project file lists them. */
kestrin::FrameList frameListOf(const kestrin::Project &project)
{
    kestrin::FrameList list;
    for (const auto &stage : project.stages) {
        std::vector<kestrin::ListedFrame> frames;
        for (const auto &frame : stage->frames)
            frames.push_back({frame->filePath, frame->centre});
        list.push_back(std::move(frames));
    }
    return list;
}

} // namespace

void MainWindow::addProjectEntries(QMenu *fileMenu)
{
    if (!fileMenu)
        fileMenu = fileMenuOf(menuBar());
    if (!fileMenu)
        fileMenu = menuBar()->addMenu(tr("&File"));
    QAction *open = fileMenu->addAction(tr("&Open project..."));
    open->setObjectName(QStringLiteral("actionOpenProject"));
    // Ctrl+O opens a sprite.
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(open, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open project"), QString(), kFilter);
        if (!path.isEmpty())
            (void)openProject(path);
    });
    const auto saveAs = [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save project as"), projectPath, kFilter);
        if (!path.isEmpty())
            (void)saveProject(path);
    };
    QAction *save = fileMenu->addAction(tr("&Save project"));
    save->setObjectName(QStringLiteral("actionSaveProject"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this, saveAs] {
        if (projectPath.isEmpty())
            saveAs();
        else
            (void)saveProject(projectPath);
    });
    QAction *as = fileMenu->addAction(tr("Save project &as..."));
    as->setObjectName(QStringLiteral("actionSaveProjectAs"));
    as->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(as, &QAction::triggered, this, saveAs);
}

/** Fills the form from the project, then loads its frames as "Load" does
 *  (and trims them as "Apply" with only "Apply bound rectangle" checked, when
 *  the project trims), so that Start writes what kestrin-art build writes
 *  for the same project. A project that lists its frames loads them into
 *  the stage list directly. A project that cannot be read is named in a box
 *  and changes nothing. */
bool MainWindow::openProject(const QString &path)
{
    kestrin::BuildProject opened;
    if (const kestrin::Failure failure = kestrin::readProjectFile(path, &opened)) {
        QMessageBox::warning(this, tr("Project Error"), path + QStringLiteral(": ") + kestrin::describeFailure(failure),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    const kestrin::FolderPattern &source = opened.source;
    ui->leSourceFolder->setText(source.folder);
    ui->leBrowseFormat->setText(source.pattern);
    // The fields are read with toInt and taken as unsigned, so a number
    // above 2^31 - 1 is shown as the negative number that reads back as it.
    ui->leStageMin->setText(QString::number(qint32(source.stageMin)));
    ui->leStageMax->setText(QString::number(qint32(source.stageMax)));
    ui->leStageWidth->setText(QString::number(source.stageWidth));
    ui->leFrameMin->setText(QString::number(qint32(source.frameMin)));
    ui->leFrameMax->setText(QString::number(qint32(source.frameMax)));
    ui->leFrameWidth->setText(QString::number(source.frameWidth));
    (opened.settings.rotatable == 1 ? ui->rbRotatable : ui->rbStatic)->setChecked(true);
    ui->sbFrameRate->setValue(opened.settings.frameRate);
    ui->sbHitFrame->setValue(opened.settings.hitFrame);
    ui->sbPaletteCount->setValue(int(opened.settings.paletteCount));
    if (!opened.target.isEmpty())
        ui->leTargetFile->setText(opened.target);
    copyColourFields(opened.settings, colourOptions);

    if (opened.frames) {
        clearStages();
        if (const kestrin::Failure failure = kestrin::loadFrameList(project, *opened.frames))
            ui->lblProgress->setText(kestrin::describeFailure(failure) + QStringLiteral(": ") + failure.path);
        refreshStageList();
    } else {
        on_pbStageLoad_clicked();
    }
    if (opened.trim) {
        ui->cbBoundRect->setChecked(true);
        ui->cbApplyAlpha->setChecked(false);
        on_pbUtilsApply_clicked();
    }
    projectPath = path;
    projectKept = std::move(opened);
    return true;
}

/** The project the form and the loaded frames describe, with what the form
 *  does not show taken from the project opened last. */
kestrin::BuildProject MainWindow::projectOfForm() const
{
    kestrin::BuildProject saved = projectKept;
    QString prefix;
    splitFolderText(ui->leSourceFolder->text(), &saved.source.folder, &prefix);
    saved.source.pattern = prefix + ui->leBrowseFormat->text();
    // Read as Load reads them: text that is no number counts as 0.
    saved.source.stageMin = quint32(ui->leStageMin->text().toInt());
    saved.source.stageMax = quint32(ui->leStageMax->text().toInt());
    saved.source.stageWidth = ui->leStageWidth->text().toInt();
    saved.source.frameMin = quint32(ui->leFrameMin->text().toInt());
    saved.source.frameMax = quint32(ui->leFrameMax->text().toInt());
    saved.source.frameWidth = ui->leFrameWidth->text().toInt();
    saved.settings.rotatable = rotatable;
    saved.settings.frameRate = frameRate;
    saved.settings.hitFrame = hitFrame;
    saved.settings.paletteCount = paletteCount;
    copyColourFields(colourOptions, saved.settings);
    saved.trim = anyFrameTrimmed(project);
    // A project that lists its frames keeps listing them: those loaded now.
    if (saved.frames)
        saved.frames = frameListOf(project);
    saved.target = ui->leTargetFile->text();
    return saved;
}

bool MainWindow::saveProject(const QString &path)
{
    if (const kestrin::Failure failure = kestrin::writeProjectFile(path, projectOfForm())) {
        QMessageBox::warning(this, tr("Project Error"),
                             tr("Cannot save the project \"%1\": %2").arg(failure.path, failure.reason),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    projectPath = path;
    return true;
}
