// Start: the generation run and its progress and message boxes.
#include "app/mainwindow.h"

#include "app/diagnosticlog.h"
#include "app/mainwindowform.h"
#include "fileio/failure.h"
#include "fileio/fileidentity.h"
#include "generate/generation.h"
#include "generate/jobfailure.h"
#include "palettes/palettefailure.h"
#include "wording/failuretext.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

void MainWindow::on_pbStart_clicked()
{
    QString target = ui->leTargetFile->text();
    // The field's first text is a prompt, not a file name.
    if (project.stageCount > 0 && target == tr("Where to save Art?")) {
        target = askTarget();
        if (target.isEmpty())
            return;
        ui->leTargetFile->setText(target);
    }
    if (!confirmFailedFrames())
        return;
    if (generateArt(target)) {
        rememberSprite(target);
        QMessageBox::information(this, tr("Success..."), tr("Generation successful!"), QMessageBox::Ok,
                                 QMessageBox::NoButton);
    } else if (cancelRequested) {
        ui->lblProgress->setText(tr("Generation cancelled: the target is as it was."));
    } else {
        QMessageBox::information(this, tr("Failed..."), tr("Generation failed!"), QMessageBox::Ok,
                                 QMessageBox::NoButton);
    }
}

bool MainWindow::confirmFailedFrames()
{
    for (quint32 s = 0; s < project.stageCount; ++s) {
        const kestrin::Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < stage.frameCount; ++f) {
            const kestrin::Frame &frame = *stage.frames[f];
            if (frame.failedFile.isEmpty() || !frame.sourceImage.isNull())
                continue;
            const QString question = tr("Frame %1 of stage %2 (%3) has no image: its file did not load (%4). "
                                        "Write it as an empty frame?")
                                         .arg(f)
                                         .arg(s)
                                         .arg(frame.failedFile, frame.failedReason);
            return QMessageBox::question(this, tr("Frame without image"), question, QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No)
                == QMessageBox::Yes;
        }
    }
    return true;
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
 *  failures that show no box (no stages). */
QString boxText(const kestrin::Failure &failure)
{
    using kestrin::FileFailure;
    using kestrin::JobFailure;
    const kestrin::FailureKind kind = failure.kind;
    if (!failure || kind.is(FileFailure::Cancelled) || kind.is(JobFailure::NoStages))
        return QString();
    if (kind.is(FileFailure::CannotWriteFile))
        return QStringLiteral("Cannot write output file \"%1\": %2").arg(failure.path, failure.reason) + kAborting;
    if (kind.is(FileFailure::OutputIsInput))
        return QStringLiteral("The output file \"%1\" is the same file as %2; nothing was written.")
                   .arg(failure.path, failure.reason)
            + kAborting;
    if (kind.is(JobFailure::WrongStageCount))
        return QStringLiteral("Number of stages must be 8 for rotatable Art.") + kAborting;
    if (kind.is(FileFailure::CannotCreateFile))
        return QStringLiteral("Cannot create output file \"") + failure.path + QStringLiteral("\"") + kAborting;
    if (kind.is(JobFailure::FrameCountMismatch))
        return QStringLiteral("Number of frames differ in stage %1:\n-Expected %2 frames.\n-Found %3 frames.")
                   .arg(failure.stage)
                   .arg(failure.expected)
                   .arg(failure.found)
            + kAborting;
    if (kind.is(FileFailure::CannotReadFile) || kind.room() == kestrin::FailureRoom::Palettes)
        // The palette file of the colour options.
        return failure.path + QStringLiteral(": ") + kestrin::describeFailure(failure) + kAborting;
    return kestrin::describeFailure(failure) + kAborting;
}

/** OutputIsInput when the target is one of the project's frame files under
 *  any name: the run would destroy it. */
kestrin::Failure targetClash(const kestrin::Project &project, const QString &targetPath)
{
    QList<kestrin::JobFile> frames;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            if (!frame->filePath.isEmpty())
                frames.append({frame->filePath, QStringLiteral("the frame file")});
        }
    }
    const QString target = targetPath == QLatin1String("-") ? QStringLiteral("./-") : targetPath;
    const auto clash = kestrin::firstCollision({{target, QString()}}, frames);
    if (!clash)
        return kestrin::Failure();
    return kestrin::Failure::of(kestrin::FailureKind(kestrin::FileFailure::OutputIsInput), targetPath,
                                QStringLiteral("%1 \"%2\"").arg(clash->second.role, clash->second.path));
}

} // namespace

kestrin::GenerationSettings MainWindow::generationSettings() const
{
    kestrin::GenerationSettings settings = colourOptions;
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
    kestrin::GenerationSettings settings = generationSettings();
    settings.cancel = &cancelRequested;
    // The run is on a worker thread; each step is on screen before it begins.
    const auto progress = [this](kestrin::GenerationStep step) { showFromWorker([this, step] { showStep(step); }); };
    kestrin::GenerationOutcome outcome;
    outcome.failure = targetClash(project, targetPath);
    if (!outcome.failure) {
        runInBackground([&] {
            // "-" is a file of that name here: the window has no standard output to write to.
            kestrin::FileSink sink(targetPath, kestrin::OutputFile::Dash::FileName);
            outcome = kestrin::runGeneration(project, settings, sink, progress);
        });
    }
    // An Escape the run did not act on cancelled nothing.
    if (outcome.failure.kind != kestrin::FailureKind(kestrin::FileFailure::Cancelled))
        cancelRequested = false;
    using kestrin::FailureKind;
    const FailureKind kind = outcome.failure.kind;
    if (kind == FailureKind(kestrin::FileFailure::CannotCreateFile)
        || kind == FailureKind(kestrin::FileFailure::CannotWriteFile)
        || kind == FailureKind(kestrin::FileFailure::OutputIsInput)) {
        kestrin::logError("generateArt: " + outcome.failure.path.toLatin1() + ": "
                          + kestrin::describeFailure(outcome.failure).toLatin1());
    }
    if (kind == FailureKind(kestrin::FileFailure::CannotWriteFile)) {
        // The run stopped part way: no step of it stays on show.
        ui->lblProgress->setText(QString());
        ui->pbTotal->setValue(0);
    }
    for (const kestrin::GenerationWarning &warning : outcome.warnings) {
        // Never a refusal: stored projects may rely on such a hit frame.
        if (warning.kind == kestrin::GenerationWarning::Kind::HitFrameBeyond)
            ui->lblProgress->setText(QStringLiteral("Generation completed... (warning: hit frame %1 is not below "
                                                    "the %2 frames per stage)")
                                         .arg(warning.hitFrame)
                                         .arg(warning.frames));
    }
    const QString text = boxText(outcome.failure);
    if (!text.isEmpty())
        QMessageBox::warning(this, tr("Generator Error"), text, QMessageBox::Ok, QMessageBox::NoButton);
    return outcome.ok();
}
