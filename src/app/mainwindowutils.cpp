// Trim, transparency, Pick and the frame preview.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"

bool MainWindow::applyBoundRect(bool)
{
    return false;
}

bool MainWindow::applyTransparency(bool)
{
    return false;
}

void MainWindow::on_pbUtilsApply_clicked() {}
void MainWindow::on_pbPickColor_clicked() {}
void MainWindow::on_lwFrameEdit_itemSelectionChanged() {}
