// Trim, transparency, Pick and the frame preview.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "frameutil/transparency.h"
#include "generate/framepreparation.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

// Both passes follow the rule a build trims by (framepreparation.h): with
// the colour options' background rule they trim to what is not background
// and keep alpha, since the rule may rest on it.

bool MainWindow::applyBoundRect(bool enabled)
{
    return kestrin::trimFrames(project, kestrin::framePreparation(colourOptions, enabled));
}

bool MainWindow::applyTransparency(bool enabled)
{
    if (project.stageCount == 0)
        return false; // the colour fields are not even read
    // Text that is not a base-10 number (such as the initial "R") counts as 0.
    const int red = ui->leRed->text().toInt();
    const int green = ui->leGreen->text().toInt();
    const int blue = ui->leBlue->text().toInt();
    return kestrin::keyFrames(
        project, kestrin::framePreparation(colourOptions, false, enabled, kestrin::keyColor(red, green, blue)));
}

void MainWindow::on_pbUtilsApply_clicked()
{
    // Both passes run on every press; an unchecked box restores the whole
    // image or makes every pixel opaque. Their results are not needed here.
    (void)applyBoundRect(ui->cbBoundRect->checkState() == Qt::Checked);
    (void)applyTransparency(ui->cbApplyAlpha->checkState() == Qt::Checked);
    on_lwFrameEdit_itemSelectionChanged();
}

void MainWindow::on_pbPickColor_clicked()
{
    const kestrin::Frame *frame = selectedFrame();
    if (!frame)
        return;
    // A null working image has no top-left pixel: the fields stay as they are.
    const std::optional<kestrin::PickedColor> color = kestrin::pickColor(frame->workImage);
    if (!color)
        return;
    ui->leRed->setText(QString::number(color->red));
    ui->leGreen->setText(QString::number(color->green));
    ui->leBlue->setText(QString::number(color->blue));
}

void MainWindow::on_lwFrameEdit_itemSelectionChanged()
{
    // With no frame selected the label keeps the picture it shows.
    const kestrin::Frame *frame = selectedFrame();
    if (!frame)
        return;
    // The label keeps its own copy; a null working image shows only the
    // label's background.
    ui->lblPreview->setPixmap(QPixmap::fromImage(frame->workImage));
}
