// Sprites in the window: opening a ".art" in a viewer (menu, drops, the
// command line) and Preview, which runs Start's generation into memory.
#include "app/mainwindow.h"

#include "app/spriteviewer.h"

#include <QAction>
#include <QBuffer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

/** One Preview: a copy of the project (so the window may change its own
 *  while the run reads this one), the settings and what the run made. The
 *  window owns it as a child; it waits for its thread before it goes, and
 *  progress reports posted to it die with it. */
class PreviewRun : public QObject
{
public:
    using QObject::QObject;
    ~PreviewRun() override
    {
        if (thread)
            thread->wait();
    }

    kestrin::Project project;
    kestrin::GenerationSettings settings;
    QByteArray bytes; // the file, exactly as Start would write it
    kestrin::GenerationOutcome outcome;
    std::unique_ptr<QThread> thread;
};

namespace {

/** A copy of `from` whose images share their pixels with the original. */
void copyProject(const kestrin::Project &from, kestrin::Project &to)
{
    for (const auto &stage : from.stages) {
        kestrin::Stage *copy = to.appendStage();
        for (const auto &frame : stage->frames)
            *copy->appendFrame() = *frame;
    }
}

} // namespace

SpriteViewer *MainWindow::openSprite(const QString &path)
{
    kestrin::ArtFile art;
    QString error;
    if (!SpriteViewer::readFile(path, art, error)) {
        QMessageBox::warning(this, tr("Open sprite"), tr("Cannot open the sprite \"%1\":\n%2").arg(path, error),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return nullptr;
    }
    auto *viewer = new SpriteViewer(std::move(art), QFileInfo(path).fileName(), this);
    viewer->show();
    rememberSprite(path);
    return viewer;
}

void MainWindow::openSpriteDialog()
{
    const QString path
        = QFileDialog::getOpenFileName(this, tr("Open sprite"), QString(), tr("Sprite (*.art);;All files (*)"));
    if (!path.isEmpty())
        openSprite(path);
}

void MainWindow::previewSprite()
{
    if (m_preview)
        return;
    auto *run = new PreviewRun(this);
    m_preview = run;
    copyProject(project, run->project);
    run->settings = generationSettings();
    m_previewAction->setEnabled(false);
    run->thread.reset(QThread::create([this, run] {
        QBuffer buffer(&run->bytes);
        buffer.open(QIODevice::WriteOnly);
        kestrin::DeviceSink sink(buffer);
        run->outcome
            = kestrin::runGeneration(run->project, run->settings, sink, [this, run](kestrin::GenerationStep step) {
                  QMetaObject::invokeMethod(
                      run, [this, step] { showStep(step); }, Qt::QueuedConnection);
              });
    }));
    connect(run->thread.get(), &QThread::finished, this, &MainWindow::previewFinished);
    run->thread->start();
}

void MainWindow::previewFinished()
{
    std::unique_ptr<PreviewRun> run(m_preview);
    m_preview = nullptr;
    run->thread->wait();
    m_previewAction->setEnabled(true);
    if (!run->outcome.ok()) {
        const QString text = generatorErrorText(run->outcome.failure);
        if (!text.isEmpty())
            QMessageBox::warning(this, tr("Generator Error"), text, QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    kestrin::ArtFile art;
    if (const kestrin::Failure failure = kestrin::parseArt(run->bytes, art)) {
        // The generation and the reader disagree: say so rather than show nothing.
        QMessageBox::warning(this, tr("Preview"), tr("The preview cannot be shown:\n%1").arg(failure.reason),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    (new SpriteViewer(std::move(art), tr("Preview"), this))->show();
}
