// Start: the generation run and its progress and message boxes.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "generate/generation.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

void MainWindow::on_pbStart_clicked()
{
    if (generateArt(ui->leTargetFile->text()))
        QMessageBox::information(this, tr("Success..."), tr("Generation successful!"), QMessageBox::Ok,
                                 QMessageBox::NoButton);
    else
        QMessageBox::information(this, tr("Failed..."), tr("Generation failed!"), QMessageBox::Ok,
                                 QMessageBox::NoButton);
}

namespace {

const QString kAborting = QStringLiteral("\n\nAborting generation...");

/** The status text of a step of the run. */
QString stepText(kestrin::GenerationStep step)
{
    using kestrin::GenerationStep;
    switch (step) {
    case GenerationStep::NoStages:
        return QStringLiteral("No stages found...");
    case GenerationStep::Preparing:
        return QStringLiteral("Preparing generator...");
    case GenerationStep::Reducing:
        return QStringLiteral("Reducing colors...");
    case GenerationStep::FixingIndices:
        return QStringLiteral("Fixing color indices...");
    case GenerationStep::Writing:
        return QStringLiteral("Generating Art...");
    case GenerationStep::CleaningUp:
        return QStringLiteral("Cleaning up...");
    case GenerationStep::Completed:
        return QStringLiteral("Generation completed...");
    }
    return QString();
}

/** The text of the "Generator Error" box for a failed run; empty for the
 *  failures that show no box (no stages, a failed write). */
QString boxText(const kestrin::Failure &failure)
{
    using kestrin::FailureKind;
    switch (failure.kind) {
    case FailureKind::None:
    case FailureKind::NoStages:
    case FailureKind::CannotWriteFile:
        return QString();
    case FailureKind::WrongStageCount:
        return QStringLiteral("Number of stages must be 8 for rotatable Art.") + kAborting;
    case FailureKind::CannotCreateFile:
        return QStringLiteral("Cannot create output file \"") + failure.path + QStringLiteral("\"") + kAborting;
    case FailureKind::FrameCountMismatch:
        return QStringLiteral("Number of frames differ in stage %1:\n-Expected %2 frames.\n-Found %3 frames.")
                   .arg(failure.stage)
                   .arg(failure.expected)
                   .arg(failure.found)
            + kAborting;
    default:
        return kestrin::describeFailure(failure) + kAborting;
    }
}

} // namespace

kestrin::GenerationSettings MainWindow::generationSettings() const
{
    kestrin::GenerationSettings settings;
    settings.frameRate = frameRate;
    settings.hitFrame = hitFrame;
    settings.paletteCount = paletteCount;
    settings.rotatable = rotatable;
    return settings;
}

void MainWindow::showStep(kestrin::GenerationStep step)
{
    ui->lblProgress->setText(stepText(step));
    ui->lblProgress->repaint();
    const int value = kestrin::stepPercent(step);
    if (value >= 0) {
        ui->pbTotal->setValue(value);
        ui->pbTotal->repaint();
    }
}

QString MainWindow::generatorErrorText(const kestrin::Failure &failure)
{
    return boxText(failure);
}

bool MainWindow::generateArt(const QString &targetPath)
{
    // The run blocks the window; repainting the two widgets shows each step
    // without processing any events.
    const auto progress = [this](kestrin::GenerationStep step) { showStep(step); };
    const kestrin::GenerationOutcome outcome
        = kestrin::runGeneration(project, generationSettings(), targetPath, progress);
    const QString text = boxText(outcome.failure);
    if (!text.isEmpty())
        QMessageBox::warning(this, tr("Generator Error"), text, QMessageBox::Ok, QMessageBox::NoButton);
    return outcome.ok();
}
