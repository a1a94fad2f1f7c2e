// The menu bar: File, Sprite and Help. Each menu is built by its own
// function, so further entries go beside the ones of their menu.
#include "app/mainwindow.h"

#include "app/mainwindowform.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {

QAction *addMenuAction(QMenu *menu, const char *objectName, const QString &text, const QKeySequence &keys)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setShortcut(keys);
    return action;
}

QMenu *addMenu(QMenuBar *bar, const char *objectName, const QString &title)
{
    QMenu *menu = bar->addMenu(title);
    menu->setObjectName(QString::fromLatin1(objectName));
    return menu;
}

} // namespace

void MainWindow::buildMenus()
{
    QMenu *file = addMenu(ui->menuBar, "menuFile", tr("&File"));
    connect(addMenuAction(file, "actionOpenSprite", tr("&Open sprite..."), QKeySequence(tr("Ctrl+O"))),
            &QAction::triggered, this, &MainWindow::openSpriteDialog);
    file->addSeparator();
    addProjectEntries(file);
    file->addSeparator();
    QAction *quit = addMenuAction(file, "actionQuit", tr("&Quit"), QKeySequence(tr("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    QMenu *sprite = addMenu(ui->menuBar, "menuSprite", tr("&Sprite"));
    m_previewAction = addMenuAction(sprite, "actionPreview", tr("&Preview"), QKeySequence(Qt::Key_F5));
    connect(m_previewAction, &QAction::triggered, this, &MainWindow::previewSprite);

    QMenu *help = addMenu(ui->menuBar, "menuHelp", tr("&Help"));
    connect(addMenuAction(help, "actionShortcuts", tr("&Keyboard shortcuts"), QKeySequence()), &QAction::triggered,
            this, &MainWindow::showKeyboardShortcuts);
    QAction *about = addMenuAction(help, "actionAbout", tr("&About Kestrin"), QKeySequence());
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::showKeyboardShortcuts()
{
    QMessageBox::information(this, tr("Keyboard shortcuts"),
                             tr("<table>"
                                "<tr><th colspan=2 align=left>Main window</th></tr>"
                                "<tr><td>Ctrl+O</td><td>Open a sprite file in a viewer</td></tr>"
                                "<tr><td>Ctrl+Shift+O</td><td>Open a project file</td></tr>"
                                "<tr><td>Ctrl+S, Ctrl+Shift+S</td><td>Save the project, or save it as</td></tr>"
                                "<tr><td>F5</td><td>Preview the sprite Start would write</td></tr>"
                                "<tr><td>Ctrl+Q</td><td>Quit</td></tr>"
                                "<tr><th colspan=2 align=left>Sprite viewer</th></tr>"
                                "<tr><td>Space</td><td>Play or pause</td></tr>"
                                "<tr><td>Left, Right</td><td>One frame back or forward</td></tr>"
                                "<tr><td>Up, Down</td><td>Next or previous direction</td></tr>"
                                "<tr><td>+, -</td><td>Zoom in or out</td></tr>"
                                "<tr><td>C</td><td>Show or hide the centre</td></tr>"
                                "</table>"));
}

void MainWindow::showAbout()
{
    QMessageBox::about(
        this, tr("About Kestrin"),
        tr("<h3>Kestrin %1</h3>"
           "<p>Turns numbered image frames into one palette-based .art sprite file.</p>"
           "<p>Built with Qt %2, running on Qt %3.</p>"
           "<p>Free software under the MIT (Expat) licence.</p>")
            .arg(QStringLiteral(KESTRIN_VERSION), QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion())));
}
