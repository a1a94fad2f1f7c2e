// Loading and generating off the window's thread, with Escape as Cancel.
#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>

#include <thread>

namespace {

/** The events by which a user acts on a window; paint, timer and posted
 *  events are not among them. */
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

void MainWindow::runInBackground(const std::function<void()> &job)
{
    cancelRequested = false;
    running = true;
    // The project stays untouched by the window while the worker has it:
    // every input to the window is held back until the job returns.
    qApp->installEventFilter(this);
    QEventLoop loop;
    std::thread worker([&] {
        job();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    qApp->removeEventFilter(this);
    running = false;
}

void MainWindow::showFromWorker(const std::function<void()> &show)
{
    QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (!running || !isUserInput(event->type()))
        return QMainWindow::eventFilter(watched, event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        cancelRequested = true;
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The job holds the project: it is stopped, and the window stays until it has.
    if (running) {
        cancelRequested = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
