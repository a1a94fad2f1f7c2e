// The colour options, the recent sprites and what can be dropped on the window.
#include "app/mainwindow.h"

#include "app/appsettings.h"
#include "app/colouroptionsdialog.h"
#include "app/mainwindowform.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>

namespace {

/** The local file or folder a drag carries first; empty when it carries none. */
QString droppedPath(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return QString();
}

bool isSprite(const QFileInfo &info)
{
    return info.isFile() && info.suffix().compare(QLatin1String("art"), Qt::CaseInsensitive) == 0;
}

} // namespace

QMenu *MainWindow::menuNamed(const QString &title)
{
    for (QAction *action : menuBar()->actions()) {
        if (action->menu() && action->text().remove(QLatin1Char('&')) == title)
            return action->menu();
    }
    return menuBar()->addMenu(QLatin1Char('&') + title);
}

void MainWindow::addColourMenuEntries(QMenu *sprite)
{
    QAction *action = sprite->addAction(tr("Colour options…"), this, &MainWindow::showColourOptions);
    action->setObjectName(QStringLiteral("actionColourOptions"));
}

void MainWindow::addRecentSpritesMenu(QMenu *file)
{
    auto *recent = new QMenu(tr("Open recent"), file);
    recent->setObjectName(QStringLiteral("menuOpenRecent"));
    // Above Quit when the menu ends with it.
    QAction *quit = nullptr;
    for (QAction *action : file->actions()) {
        if (action->objectName() == QLatin1String("actionQuit"))
            quit = action;
    }
    file->insertMenu(quit, recent);
    // Built as it opens, so it shows what other windows recorded too.
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        const QStringList paths = appsettings::recentSprites();
        for (const QString &path : paths)
            recent->addAction(path, this, [this, path] { openSprite(path); });
        recent->setEnabled(true);
        if (paths.isEmpty())
            recent->addAction(tr("(none)"))->setEnabled(false);
    });
}

void MainWindow::showColourOptions()
{
    const kestrin::Frame *frame = selectedFrame();
    ColourOptionsDialog dialog(frame ? frame->workImage : QImage(), this);
    dialog.setSettings(colourOptions);
    if (dialog.exec() != QDialog::Accepted)
        return;
    colourOptions = dialog.settings();
    appsettings::setColourOptions(colourOptions);
}

void MainWindow::rememberSprite(const QString &path)
{
    appsettings::addRecentSprite(path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

/** A folder fills the folder field; a sprite opens; an image dropped on the
 *  frame list loads into the selected frame, as the frame Load does. */
void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = droppedPath(event->mimeData());
    const QFileInfo info(path);
    const QPoint onList = ui->lwFrameEdit->mapFrom(this, event->position().toPoint());
    if (path.isEmpty()) {
        return;
    } else if (info.isDir()) {
        ui->leSourceFolder->setText(QDir::cleanPath(path) + QLatin1Char('/'));
    } else if (isSprite(info)) {
        // After the drop has returned: a box must not hold up the drag's source.
        QTimer::singleShot(0, this, [this, path] { openSprite(path); });
    } else if (ui->lwFrameEdit->rect().contains(onList)) {
        ui->leSourceFile->setText(path);
        on_pbFrameLoad_clicked();
    } else {
        return;
    }
    event->acceptProposedAction();
}
