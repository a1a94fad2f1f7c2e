#include "app/mainwindow.h"

#include "app/appsettings.h"
#include "app/mainwindowform.h"
#include "fileio/failure.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<MainWindowForm>())
{
    ui->setupForm(this);
    buildMenus();
    setAcceptDrops(true);
    frameRate = 0;
    hitFrame = 0;
    paletteCount = 4;
    rotatable = 0;
    colourOptions = appsettings::colourOptions();
    addRecentSpritesMenu(menuNamed(tr("File")));
    addColourMenuEntries(menuNamed(tr("Sprite")));
}

MainWindow::~MainWindow()
{
    ui.reset();
    project.clear();
}

// ---- settings -------------------------------------------------------------

void MainWindow::on_rbRotatable_toggled(bool checked)
{
    if (checked)
        rotatable = 1;
}

void MainWindow::on_rbStatic_toggled(bool checked)
{
    if (checked)
        rotatable = 0;
}

void MainWindow::on_sbHitFrame_valueChanged(int value)
{
    hitFrame = value;
}

void MainWindow::on_sbFrameRate_valueChanged(int value)
{
    frameRate = value;
}

void MainWindow::on_sbPaletteCount_valueChanged(int value)
{
    paletteCount = static_cast<quint32>(value);
}

// ---- browse dialogs -------------------------------------------------------

// Each dialog starts in the folder it last used; Cancel leaves its field as it was.

namespace {

/** Every kind of file the frame loader reads (Qt's readers and plugins, and
 *  the TGA and PSD files read by the built-in decoder). */
const char *const kFrameFilter = "Images (*.bmp *.png *.jpg *.jpeg *.gif *.pbm *.pgm *.ppm *.xpm *.xbm *.ico *.cur "
                                 "*.tif *.tiff *.webp *.wbmp *.icns *.mng *.tga *.psd);;All files (*)";

} // namespace

QString MainWindow::askTarget()
{
    const QString start = appsettings::lastFolder(QStringLiteral("target"), QStringLiteral("/home"));
    const QString path = QFileDialog::getSaveFileName(this, tr("Save File"), start + QStringLiteral("/file.art"),
                                                      tr("Sprite (*.art)"));
    appsettings::rememberFolder(QStringLiteral("target"), path);
    return path;
}

void MainWindow::on_pbBrowseTarget_clicked()
{
    const QString path = askTarget();
    if (!path.isEmpty())
        ui->leTargetFile->setText(path);
}

void MainWindow::on_pbBrowseFolder_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(
        this, tr("Open Directory"), appsettings::lastFolder(QStringLiteral("folder"), QStringLiteral("/home")),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty())
        return;
    appsettings::rememberFolder(QStringLiteral("folder"), dir);
    ui->leSourceFolder->setText(dir + QLatin1Char('/'));
}

void MainWindow::on_pbBrowseFile_clicked()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open File"), appsettings::lastFolder(QStringLiteral("frame"), QStringLiteral("/home")),
        tr(kFrameFilter));
    if (path.isEmpty())
        return;
    appsettings::rememberFolder(QStringLiteral("frame"), path);
    ui->leSourceFile->setText(path);
}

// ---- project model --------------------------------------------------------

bool MainWindow::loadFrame(kestrin::Frame *frame, const QString &path)
{
    if (!frame)
        return false;
    // Decoded into a copy, so that a cancel leaves the frame as it was.
    kestrin::Frame loaded = *frame;
    kestrin::Failure failure;
    runInBackground([&] { failure = kestrin::loadFrame(loaded, path); });
    if (cancelRequested) {
        lastLoadFailure = kestrin::Failure::of(kestrin::FailureKind(kestrin::FileFailure::Cancelled), path);
        ui->lblProgress->setText(tr("Load cancelled: the frame is as it was."));
        return false;
    }
    lastLoadFailure = failure;
    if (!failure)
        *frame = std::move(loaded);
    return !failure;
}

bool MainWindow::clearStages()
{
    if (project.stageCount == 0)
        return true;
    ui->lwStageEdit->clear();
    ui->lwFrameEdit->clear();
    project.clear();
    return true;
}

bool MainWindow::refreshStageList()
{
    if (project.stageCount == 0)
        return false;
    for (quint32 i = 0; i < project.stageCount; ++i) {
        auto *item = new QListWidgetItem(ui->lwStageEdit, QListWidgetItem::Type);
        item->setText(QStringLiteral("Stage %1").arg(i));
        item->setData(Qt::UserRole, handleOf(project.stages[i].get()));
    }
    return true;
}

void MainWindow::on_pbStageClear_clicked()
{
    clearStages();
}

QVariant MainWindow::handleOf(const void *object)
{
    return QVariant::fromValue(reinterpret_cast<quintptr>(object));
}

kestrin::Stage *MainWindow::selectedStage() const
{
    const QList<QListWidgetItem *> selected = ui->lwStageEdit->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return reinterpret_cast<kestrin::Stage *>(selected.first()->data(Qt::UserRole).value<quintptr>());
}

kestrin::Frame *MainWindow::selectedFrame() const
{
    const QList<QListWidgetItem *> selected = ui->lwFrameEdit->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return reinterpret_cast<kestrin::Frame *>(selected.first()->data(Qt::UserRole).value<quintptr>());
}
