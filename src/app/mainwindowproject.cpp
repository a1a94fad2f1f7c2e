// Loading a project from a folder and editing stages and frames by hand.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"

void MainWindow::on_pbStageLoad_clicked() {}

bool MainWindow::GenFile(const QString &, const QString &, quint32, quint32, int, quint32, quint32, int)
{
    return false;
}

void MainWindow::on_pbPreviewUpdate_clicked() {}
void MainWindow::on_lwStageEdit_itemSelectionChanged() {}
void MainWindow::on_pbStageNew_clicked() {}
void MainWindow::on_pbStageDelete_clicked() {}
void MainWindow::on_pbFrameNew_clicked() {}
void MainWindow::on_pbFrameDelete_clicked() {}
void MainWindow::on_pbFrameLoad_clicked() {}
