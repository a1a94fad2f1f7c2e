// Sprites in the main window: the menus, opening a ".art" (the menu entry
// point, drops, a file that is no sprite) and Preview, whose viewer holds
// exactly the bytes Start writes.
#include "inspector.h"
#include "testmain.h"

#include "app/spriteviewer.h"
#include "fixtures.h"
#include "seededfolder.h"

#include <QAction>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <random>

#include <sys/stat.h>

namespace {

/** Answers the next modal message box with Ok after recording its title and
 *  text; Start runs on a worker thread, so the box comes some events later. */
void answerBox(QString *title, QString *text)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        *title = box->windowTitle();
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    timer->start(5);
}

QList<SpriteViewer *> viewersOf(MainWindow &w)
{
    return w.findChildren<SpriteViewer *>();
}

/** `stages` x 3 frames of different sizes drawn from `seed`, many colours. */
void fillSeeded(kestrin::Project &project, int stages, quint32 seed)
{
    std::mt19937 rng(seed);
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < 3; ++f) {
            const QImage frame = fixture::seededFrame(rng, 8 + int(rng() % 30), 6 + int(rng() % 30));
            fixture::addFrame(stage, frame.convertToFormat(QImage::Format_ARGB32));
        }
    }
}

} // namespace

class SpritesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void menusAndTheirKeys()
    {
        MainWindow w;
        QStringList seen;
        for (QAction *action : w.findChildren<QAction *>()) {
            if (!action->objectName().startsWith(QLatin1String("action")))
                continue;
            seen << action->objectName() + QLatin1Char('=') + action->shortcut().toString();
        }
        seen.sort();
        QCOMPARE(seen,
                 QStringList({"actionAbout=", "actionColourOptions=", "actionOpenProject=Ctrl+Shift+O", "actionOpenSprite=Ctrl+O",
                              "actionPreview=F5", "actionQuit=Ctrl+Q", "actionSaveProject=Ctrl+S",
                              "actionSaveProjectAs=Ctrl+Shift+S", "actionShortcuts="}));
        QVERIFY(MainWindowInspector::form(w).mainToolBar->actions().isEmpty());

        QString title, text;
        answerBox(&title, &text);
        w.findChild<QAction *>(QStringLiteral("actionAbout"))->trigger();
        QCOMPARE(title, QStringLiteral("About Kestrin"));
        QVERIFY(text.contains(QStringLiteral(KESTRIN_VERSION)));
        QVERIFY(text.contains(QString::fromLatin1(qVersion())));
        QVERIFY(text.contains(QStringLiteral("licence")));
    }

    void aFileThatIsNoSpriteGetsTheReadersReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too short") << QByteArray("ART") << QStringLiteral("file too short for the header");
        kestrin::Project project;
        fixture::fill(project, 1, 2);
        QByteArray badDirections = fixture::artBytes(project, kestrin::GenerationSettings());
        kestrin::art::put32le(reinterpret_cast<quint8 *>(badDirections.data()) + kestrin::art::kDirectionCountOffset,
                              7);
        QTest::newRow("direction count") << badDirections << QStringLiteral("direction count is 7, must be 8");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("No such file");
    }

    void aFileThatIsNoSpriteGetsTheReadersReason()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".art"));
        if (!bytes.isNull())
            QVERIFY(fixture::writeAll(path, bytes));
        MainWindow w;
        QString title, text;
        answerBox(&title, &text);
        QCOMPARE(w.openSprite(path), nullptr);
        QCOMPARE(title, QStringLiteral("Open sprite"));
        QVERIFY2(text.contains(path) && text.contains(reason), qPrintable(text));
        QVERIFY(viewersOf(w).isEmpty());
    }

    void aFifoIsRefusedWithoutWaitingForAWriter()
    {
        const QString fifo = dir.filePath(QStringLiteral("pipe.art"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        MainWindow w;
        QString title, text;
        answerBox(&title, &text);
        QCOMPARE(w.openSprite(fifo), nullptr);
        QVERIFY2(text.contains(QStringLiteral("not a regular file")), qPrintable(text));
    }

    void aDroppedSpriteOpensInAViewer()
    {
        kestrin::Project project;
        fixture::fill(project, 2, 3);
        const QString path = dir.filePath(QStringLiteral("drop.art"));
        QVERIFY(fixture::writeAll(path, fixture::artBytes(project, kestrin::GenerationSettings())));
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(dir.filePath(QStringLiteral("frame.png")))});
        const QPoint at = w.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QTRY_COMPARE(viewersOf(w).size(), 1);
        SpriteViewer *viewer = viewersOf(w).first();
        QVERIFY(viewer->isWindow());
        QVERIFY(viewer->windowTitle().contains(QStringLiteral("drop.art")));
        QCOMPARE(viewer->art().bytes, fixture::readAll(path));
        QVERIFY(!viewer->isModal());
    }

    void previewHoldsTheBytesStartWrites_data()
    {
        QTest::addColumn<bool>("rotatable");
        QTest::addColumn<int>("palettes");
        QTest::newRow("static, defaults") << false << 4;
        QTest::newRow("rotatable, 2 palettes") << true << 2;
    }

    void previewHoldsTheBytesStartWrites()
    {
        QFETCH(bool, rotatable);
        QFETCH(int, palettes);
        MainWindow w;
        w.show();
        MainWindowForm &f = MainWindowInspector::form(w);
        fillSeeded(MainWindowInspector::project(w), rotatable ? 8 : 3, 20 + palettes);
        if (rotatable)
            f.rbRotatable->click();
        f.sbPaletteCount->setValue(palettes);
        f.sbFrameRate->setValue(15);
        const QString target = dir.filePath(QStringLiteral("start-%1.art").arg(QTest::currentDataTag()));
        f.leTargetFile->setText(target);

        QVERIFY(MainWindowInspector::applyBoundRect(w, true));
        w.findChild<QAction *>(QStringLiteral("actionPreview"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(viewersOf(w).size(), 1, 20000);
        SpriteViewer *viewer = viewersOf(w).first();
        QVERIFY(viewer->windowTitle().contains(QStringLiteral("Preview")));
        QCOMPARE(f.lblProgress->text(), QStringLiteral("Generation completed..."));
        QCOMPARE(f.pbTotal->value(), 100);
        QVERIFY(!QFile::exists(target)); // Preview writes nothing

        QString title, text;
        answerBox(&title, &text);
        QTest::mouseClick(f.pbStart, Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Success..."));
        const QByteArray written = fixture::readAll(target);
        QVERIFY(written.size() > 2000);
        QCOMPARE(viewer->art().bytes, written);
    }

    // Preview runs runGeneration into a buffer; the file Start writes comes
    // from the same call with a file target, for every quantizer.
    void memoryAndFileAgreeForTheRefinedQuantizer()
    {
        kestrin::Project project;
        fillSeeded(project, 3, 7);
        kestrin::GenerationSettings settings;
        settings.quantizer = kestrin::QuantizerKind::Refined;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        kestrin::DeviceSink sink(buffer);
        QVERIFY(kestrin::runGeneration(project, settings, sink, {}).ok());
        const QString target = dir.filePath(QStringLiteral("refined.art"));
        QVERIFY(kestrin::runGeneration(project, settings, target, {}).ok());
        QCOMPARE(bytes, fixture::readAll(target));
    }

    void previewOfNoStagesSaysSoAndOpensNothing()
    {
        MainWindow w;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        MainWindowForm &f = MainWindowInspector::form(w);
        QTest::keyClick(&w, Qt::Key_F5);
        QTRY_COMPARE(f.lblProgress->text(), QStringLiteral("No stages found..."));
        QTRY_VERIFY(w.findChild<QAction *>(QStringLiteral("actionPreview"))->isEnabled());
        QVERIFY(viewersOf(w).isEmpty());
    }
};

KESTRIN_TEST(SpritesTest)
#include "tst_sprites.moc"
