// Start: the generation run and its progress and message boxes.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "artfile/generationrun.h"

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

bool MainWindow::generateArt(const QString &targetPath)
{
    kestrin::GenerationSettings settings;
    settings.frameRate = frameRate;
    settings.hitFrame = hitFrame;
    settings.paletteCount = paletteCount;
    settings.rotatable = rotatable;

    // The run blocks the window; repainting the two widgets shows each step
    // without processing any events.
    const auto progress = [this](const QString &text, int value) {
        ui->lblProgress->setText(text);
        ui->lblProgress->repaint();
        if (value >= 0) {
            ui->pbTotal->setValue(value);
            ui->pbTotal->repaint();
        }
    };
    const kestrin::GenerationResult result = kestrin::runGeneration(project, settings, targetPath, progress);
    if (result.showBox)
        QMessageBox::warning(this, tr("Generator Error"), result.boxText, QMessageBox::Ok, QMessageBox::NoButton);
    return result.ok;
}
