// Opening a sprite file from the window. Until the window has a viewer this
// checks the file and shows what it holds.
#include "app/mainwindow.h"

#include "artfile/artreader.h"

#include <QMessageBox>

void MainWindow::openSprite(const QString &path)
{
    kestrin::ArtFile art;
    QString error;
    if (!kestrin::readArtFile(path, art, error)) {
        QMessageBox::warning(this, tr("Open Sprite"), path + QStringLiteral(": ") + error);
        return;
    }
    rememberSprite(path);
    QMessageBox::information(this, tr("Open Sprite"),
                             tr("%1: %2 sprite, %3 frames, %4 palette colours")
                                 .arg(path, art.isRotatable() ? tr("rotatable") : tr("static"))
                                 .arg(art.frames.size())
                                 .arg(art.colorCount()));
}
