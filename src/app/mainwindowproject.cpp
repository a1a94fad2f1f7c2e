// Loading a project from a folder and editing stages and frames by hand.
#include "app/mainwindow.h"

#include "app/diagnosticlog.h"
#include "app/mainwindowform.h"
#include "fileio/failure.h"
#include "project/filenamerule.h"
#include "project/folderloader.h"
#include "project/framefailure.h"
#include "wording/failuretext.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QStatusBar>

#include <utility>

namespace {

// Number fields are read with toInt and no ok flag: text that is not a
// number counts as 0, and the bounds are then taken as unsigned 32-bit
// values, so "-1" becomes 4294967295.
quint32 unsignedField(const QLineEdit *edit)
{
    return static_cast<quint32>(edit->text().toInt());
}

int signedField(const QLineEdit *edit)
{
    return edit->text().toInt();
}

/** The log line of a failed folder load, after "GenFile: ". Paths go
 *  through Latin-1, as every byte of the log does. */
QByteArray loadLogMessage(const kestrin::Failure &failure)
{
    using kestrin::FrameFailure;
    const QByteArray path = failure.path.toLatin1();
    if (failure.kind.is(FrameFailure::CannotLoadFrame))
        return "Cannot load frame: " + path;
    if (failure.kind.is(FrameFailure::NoStagesFound))
        return "No stages found!";
    if (failure.kind.is(FrameFailure::NameNeverChanges))
        return "Too many stages and frames (the file name does not change with its number): " + path;
    if (failure.kind.is(FrameFailure::TooManyFrames))
        return "Too many stages and frames (more than " + QByteArray::number(failure.expected) + "): " + path;
    if (failure.kind.is(FrameFailure::RangeTooLarge))
        return "Range too large to search: " + path;
    if (failure.kind.is(FrameFailure::NameRepeats))
        return kestrin::describeFailure(failure).toLatin1() + ": " + path;
    return kestrin::describeFailure(failure).toLatin1();
}

/** The lowest selected row of `list`, or -1. */
int lowestSelectedRow(const QListWidget *list)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            return row;
    }
    return -1;
}

} // namespace

// ---- loading from a folder ------------------------------------------------

void MainWindow::on_pbStageLoad_clicked()
{
    const QString folder = ui->leSourceFolder->text();
    const QString pattern = ui->leBrowseFormat->text();
    const quint32 stageMin = unsignedField(ui->leStageMin);
    const quint32 stageMax = unsignedField(ui->leStageMax);
    const int stageWidth = signedField(ui->leStageWidth);
    const quint32 frameMin = unsignedField(ui->leFrameMin);
    const quint32 frameMax = unsignedField(ui->leFrameMax);
    const int frameWidth = signedField(ui->leFrameWidth);
    // The load fills an empty project; the one shown stays alive until the
    // load is over, so a cancelled load can put it back untouched.
    kestrin::Project previous = std::exchange(project, kestrin::Project());
    (void)GenFile(folder, pattern, stageMin, stageMax, stageWidth, frameMin, frameMax, frameWidth);
    if (lastLoadFailure.kind == kestrin::FailureKind(kestrin::FileFailure::Cancelled)) {
        project = std::move(previous);
        ui->lblProgress->setText(tr("Load cancelled: the project is as it was."));
        return;
    }
    // The list shows whatever was loaded, even after a failure.
    ui->lwStageEdit->clear();
    ui->lwFrameEdit->clear();
    previous.clear();
    refreshStageList();
    if (lastLoadFailure)
        showLoadFailure(lastLoadFailure);
}

bool MainWindow::GenFile(const QString &folder, const QString &pattern, quint32 stageMin, quint32 stageMax,
                         int stageWidth, quint32 frameMin, quint32 frameMax, int frameWidth)
{
    kestrin::FolderPattern source;
    source.folder = folder;
    source.pattern = pattern;
    source.stageMin = stageMin;
    source.stageMax = stageMax;
    source.stageWidth = stageWidth;
    source.frameMin = frameMin;
    source.frameMax = frameMax;
    source.frameWidth = frameWidth;
    kestrin::LoadOptions options;
    options.cancel = &cancelRequested;
    options.progress = [this](quint64 done, quint64 total) {
        showFromWorker([this, done, total] {
            statusBar()->showMessage(tr("Loading frames: %1 of %2 (Esc cancels)").arg(done).arg(total));
        });
    };
    kestrin::Failure failure;
    runInBackground([&] { failure = kestrin::loadFolder(project, source, options); });
    statusBar()->clearMessage();
    lastLoadFailure = failure;
    if (failure && failure.kind != kestrin::FailureKind(kestrin::FileFailure::Cancelled))
        kestrin::logError("GenFile: " + loadLogMessage(failure));
    return !failure;
}

void MainWindow::showLoadFailure(const kestrin::Failure &failure)
{
    // Worded as kestrin-art words it: the file (or the folder) concerned, then what went wrong.
    const QString subject = failure.path.isEmpty() ? ui->leSourceFolder->text() : failure.path;
    QMessageBox::warning(this, tr("Load Error"), subject + QStringLiteral(": ") + kestrin::describeFailure(failure),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::on_pbPreviewUpdate_clicked()
{
    const kestrin::NamePreview names = kestrin::previewNames(
        ui->leBrowseFormat->text(), unsignedField(ui->leStageMin), unsignedField(ui->leStageMax),
        signedField(ui->leStageWidth), unsignedField(ui->leFrameMin), unsignedField(ui->leFrameMax),
        signedField(ui->leFrameWidth));
    ui->lePreviewFirst->setText(names.first);
    ui->lePreviewLast->setText(names.last);
    ui->lePreviewNext->setText(names.next);
}

// ---- editing by hand --------------------------------------------------------

void MainWindow::on_lwStageEdit_itemSelectionChanged()
{
    ui->lwFrameEdit->clear();
    const kestrin::Stage *stage = selectedStage();
    if (!stage || stage->frameCount == 0)
        return;
    for (quint32 i = 0; i < stage->frameCount; ++i) {
        auto *item = new QListWidgetItem(ui->lwFrameEdit, QListWidgetItem::Type);
        item->setText(QStringLiteral("Frame %1").arg(i));
        item->setData(Qt::UserRole, handleOf(stage->frames[i].get()));
    }
    // Selecting the first frame shows it in the preview.
    ui->lwFrameEdit->setCurrentRow(0);
}

void MainWindow::on_pbStageNew_clicked()
{
    const quint32 label = project.stageCount;
    kestrin::Stage *stage = project.appendStage();
    auto *item = new QListWidgetItem(ui->lwStageEdit, QListWidgetItem::Type);
    item->setText(QStringLiteral("Stage %1").arg(label));
    item->setData(Qt::UserRole, handleOf(stage));
}

void MainWindow::on_pbStageDelete_clicked()
{
    if (!selectedStage())
        return;
    const int row = lowestSelectedRow(ui->lwStageEdit);
    if (row < 0 || static_cast<quint32>(row) >= project.stageCount)
        return;
    // The item leaves the list before its Stage is destroyed, so the
    // selection handler that runs meanwhile never reaches a destroyed Stage;
    // the frame list is then rebuilt for whatever is selected now.
    QListWidgetItem *item = ui->lwStageEdit->takeItem(row);
    project.removeStage(static_cast<quint32>(row));
    delete item;
    on_lwStageEdit_itemSelectionChanged();
}

void MainWindow::on_pbFrameNew_clicked()
{
    kestrin::Stage *stage = selectedStage();
    if (!stage)
        return;
    const quint32 label = stage->frameCount;
    kestrin::Frame *frame = stage->appendFrame();
    auto *item = new QListWidgetItem(ui->lwFrameEdit, QListWidgetItem::Type);
    item->setText(QStringLiteral("Frame %1").arg(label));
    item->setData(Qt::UserRole, handleOf(frame));
}

void MainWindow::on_pbFrameDelete_clicked()
{
    kestrin::Stage *stage = selectedStage();
    if (!stage)
        return;
    const int row = lowestSelectedRow(ui->lwFrameEdit);
    if (row < 0 || static_cast<quint32>(row) >= stage->frameCount)
        return;
    // As for stages: the item goes first, so the preview never sees a
    // destroyed Frame.
    QListWidgetItem *item = ui->lwFrameEdit->takeItem(row);
    stage->removeFrame(static_cast<quint32>(row));
    delete item;
}

void MainWindow::on_pbFrameLoad_clicked()
{
    kestrin::Frame *frame = selectedFrame();
    if (!frame)
        return;
    // A file that does not load leaves the frame as it was, and says why.
    if (!loadFrame(frame, ui->leSourceFile->text())
        && lastLoadFailure.kind != kestrin::FailureKind(kestrin::FileFailure::Cancelled))
        showLoadFailure(lastLoadFailure);
}
