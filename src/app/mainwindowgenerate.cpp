// Start: the generation run and its progress and message boxes.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"

void MainWindow::on_pbStart_clicked() {}

bool MainWindow::generateArt(const QString &)
{
    return false;
}
