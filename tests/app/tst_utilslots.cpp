// The Utils group and the preview as a user drives them: Apply with the two
// check boxes and the colour fields, Pick, and the picture in lblPreview.
#include "frameutil/fixtures.h"
#include "inspector.h"
#include "testmain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

const QColor kBackground(170, 170, 127); // the preview label's style sheet colour

/** A window whose only stage holds the given frames, listed in lwFrameEdit
 *  with their handles, nothing selected. */
struct Fixture {
    MainWindow window;
    QList<kestrin::Frame *> frames;

    explicit Fixture(const QList<QImage> &images)
    {
        kestrin::Stage *stage = MainWindowInspector::project(window).appendStage();
        QListWidget *list = widget<QListWidget>("lwFrameEdit");
        for (const QImage &image : images) {
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = image;
            frame->workImage = image;
            frames.append(frame);
            auto *item = new QListWidgetItem(QStringLiteral("Frame %1").arg(list->count()), list);
            item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(frame)));
        }
        QVERIFY(MainWindowInspector::refreshStageList(window));
    }

    template <typename T> T *widget(const char *name) { return window.findChild<T *>(QLatin1String(name)); }

    void setChecked(const char *box, bool checked) { widget<QCheckBox>(box)->setChecked(checked); }
    void setKey(const QString &r, const QString &g, const QString &b)
    {
        widget<QLineEdit>("leRed")->setText(r);
        widget<QLineEdit>("leGreen")->setText(g);
        widget<QLineEdit>("leBlue")->setText(b);
    }
    QStringList keyTexts()
    {
        return {widget<QLineEdit>("leRed")->text(), widget<QLineEdit>("leGreen")->text(),
                widget<QLineEdit>("leBlue")->text()};
    }
    void click(const char *button) { QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton); }
    void select(int row) { widget<QListWidget>("lwFrameEdit")->setCurrentRow(row); }

    /** The label as drawn, and the rectangle inside its frame. */
    QImage preview() { return widget<QLabel>("lblPreview")->grab().toImage(); }
    QRect inner() { return widget<QLabel>("lblPreview")->contentsRect(); }
};

/** Width, height, centerX and centerY from the header of frame `index` of
 *  a written file with `palettes` palette copies. */
QList<qint32> frameHeader(const QByteArray &file, quint32 palettes, int index)
{
    const qsizetype at = 132 + 1024 * qsizetype(palettes) + 28 * qsizetype(index);
    if (file.size() < at + 28)
        return {};
    const auto field = [&](int offset) { return qFromLittleEndian<qint32>(file.constData() + at + offset); };
    return {field(0), field(4), field(12), field(16)};
}

/** 10 × 10 in four 5 × 5 quadrants: red, green / blue, black. */
QImage quadrants()
{
    QImage image(10, 10, QImage::Format_ARGB32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            image.setPixel(x, y, y < 5 ? (x < 5 ? 0xFFC00000u : 0xFF00C000u) : (x < 5 ? 0xFF0000C0u : 0xFF000000u));
    return image;
}

} // namespace

class UtilSlotsTest : public QObject
{
    Q_OBJECT

private slots:
    void applyKeysTheTypedColour_data()
    {
        QTest::addColumn<QStringList>("fields"); // empty: the form's initial "R", "G", "B"
        QTest::addColumn<quint32>("pixel");
        QTest::addColumn<quint32>("result");

        QTest::newRow("initial fields mean black") << QStringList() << 0x7F000000u << 0x00000000u;
        QTest::newRow("initial fields leave near-black") << QStringList() << 0x7F000001u << 0xFF000001u;
        QTest::newRow("0, 0, 256 matches green 1") << QStringList{"0", "0", "256"} << 0xFF000100u << 0x00000100u;
        QTest::newRow("0, 0, 256 leaves blue 1") << QStringList{"0", "0", "256"} << 0x00000001u << 0xFF000001u;
        QTest::newRow("0, 0, 256 leaves black") << QStringList{"0", "0", "256"} << 0xFF000000u << 0xFF000000u;
        QTest::newRow("decimal fields") << QStringList{"170", "170", "127"} << 0xFFAAAA7Fu << 0x00AAAA7Fu;
        QTest::newRow("text counts as 0") << QStringList{"x", "", "0x10"} << 0xFF000000u << 0x00000000u;
        QTest::newRow("negative red matches nothing") << QStringList{"-1", "0", "0"} << 0x00FF0000u << 0xFFFF0000u;
        QTest::newRow("red 256 matches nothing") << QStringList{"256", "0", "0"} << 0x00000000u << 0xFF000000u;
    }

    void applyKeysTheTypedColour()
    {
        QFETCH(QStringList, fields);
        QFETCH(quint32, pixel);
        QFETCH(quint32, result);

        Fixture fx({fixtures::canvas(3, 2, 0xFF123456u, {{1, 1}}, pixel)});
        if (!fields.isEmpty())
            fx.setKey(fields[0], fields[1], fields[2]);
        fx.setChecked("cbBoundRect", false);
        fx.setChecked("cbApplyAlpha", true);
        fx.click("pbUtilsApply");
        const QImage &work = fx.frames[0]->workImage;
        QCOMPARE(fixtures::at(work, 1, 1), result);
        QCOMPARE(fixtures::at(work, 0, 1), 0xFF123456u);
        QCOMPARE(fixtures::at(fx.frames[0]->sourceImage, 1, 1), pixel);
    }

    void applyTrimsEveryFrameAndUntrimRestores()
    {
        const QImage letter = fixtures::letterF();
        Fixture fx({letter, fixtures::canvas(4, 4, 0x00000000u), QImage()});
        kestrin::Stage *second = MainWindowInspector::project(fx.window).appendStage();
        kestrin::Frame *other = second->appendFrame();
        other->sourceImage = other->workImage = fixtures::canvas(5, 3, 0xFF000000u, {{4, 2}});

        fx.click("pbUtilsApply"); // the form starts with cbBoundRect checked
        QCOMPARE(fx.frames[0]->boundRect, (kestrin::BoundRect{1, 1, 5, 5}));
        QCOMPARE(fx.frames[0]->workImage, letter.copy(1, 1, 4, 4));
        QVERIFY(fx.frames[1]->workImage.isNull());
        QCOMPARE(fx.frames[1]->boundRect, (kestrin::BoundRect{4, 4, 0, 0}));
        QCOMPARE(fx.frames[2]->boundRect, (kestrin::BoundRect{0, 0, 0, 0}));
        QCOMPARE(other->boundRect, (kestrin::BoundRect{4, 2, 5, 3}));

        fx.click("pbUtilsApply"); // again: the same images, not trimmed twice
        QCOMPARE(fx.frames[0]->workImage, letter.copy(1, 1, 4, 4));
        QCOMPARE(fx.frames[0]->boundRect, (kestrin::BoundRect{1, 1, 5, 5}));

        fx.setChecked("cbBoundRect", false);
        fx.click("pbUtilsApply");
        for (kestrin::Frame *f : {fx.frames[0], fx.frames[1], fx.frames[2], other})
            QCOMPARE(f->boundRect, kestrin::BoundRect());
        QCOMPARE(fx.frames[0]->workImage, letter);
        QVERIFY(fx.frames[2]->workImage.isNull());
    }

    void bothBoxesUncheckedMakeSourcesOpaque()
    {
        Fixture fx({fixtures::canvas(4, 3, 0x00000000u, {{2, 1}}, 0x40AABBCCu)});
        fx.setChecked("cbBoundRect", false);
        fx.click("pbUtilsApply");
        const kestrin::Frame *f = fx.frames[0];
        QCOMPARE(f->boundRect, kestrin::BoundRect());
        QCOMPARE(f->workImage, fixtures::canvas(4, 3, 0xFF000000u, {{2, 1}}, 0xFFAABBCCu));
        QCOMPARE(f->sourceImage, fixtures::canvas(4, 3, 0x00000000u, {{2, 1}}, 0x40AABBCCu));
    }

    void emptyProjectApplyDoesNothing()
    {
        MainWindow w;
        QVERIFY(!MainWindowInspector::applyBoundRect(w, true));
        QVERIFY(!MainWindowInspector::applyTransparency(w, true));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("pbUtilsApply")), Qt::LeftButton);
        QCOMPARE(MainWindowInspector::project(w).stageCount, 0u);
    }

    void writtenFileCarriesTheTrimmedCentres()
    {
        // Two 31 × 20 frames: content from column 20, row 3 (7 × 12), and
        // content from column 2, row 15 to the right and bottom edges.
        QImage right = fixtures::canvas(31, 20, 0xFF203040u);
        for (int y = 3; y < 15; ++y)
            for (int x = 20; x < 27; ++x)
                right.setPixel(x, y, 0xFF000000u | quint32(x * 8) << 8 | quint32(y * 16));
        const QImage low = fixtures::canvas(31, 20, 0xFF203040u, {{2, 15}, {30, 19}}, 0xFFE0E0E0u);
        Fixture fx({right, low});
        const quint32 palettes = MainWindowInspector::paletteCount(fx.window);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("trimmed.art"));

        fx.click("pbUtilsApply");
        QVERIFY(MainWindowInspector::generateArt(fx.window, target));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        QCOMPARE(frameHeader(bytes, palettes, 0), (QList<qint32>{7, 12, -5, 7}));
        QCOMPARE(frameHeader(bytes, palettes, 1), (QList<qint32>{29, 5, 13, -5}));
        file.close();

        // Untrimmed again: the whole frames and half their size.
        fx.setChecked("cbBoundRect", false);
        fx.click("pbUtilsApply");
        QVERIFY(MainWindowInspector::generateArt(fx.window, target));
        QVERIFY(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
        QCOMPARE(frameHeader(bytes, palettes, 0), (QList<qint32>{31, 20, 15, 10}));
        QCOMPARE(frameHeader(bytes, palettes, 1), (QList<qint32>{31, 20, 15, 10}));
    }

    void pickFillsTheFields()
    {
        Fixture fx({fixtures::canvas(3, 3, 0x12AAAA7Fu, {{1, 1}, {2, 2}}, 0xFF0A0B0Cu), QImage()});
        fx.click("pbPickColor"); // nothing selected
        QCOMPARE(fx.keyTexts(), (QStringList{"R", "G", "B"}));

        fx.select(1); // a frame without an image
        fx.click("pbPickColor");
        QCOMPARE(fx.keyTexts(), (QStringList{"R", "G", "B"}));

        fx.select(0);
        fx.click("pbPickColor");
        QCOMPARE(fx.keyTexts(), (QStringList{"170", "170", "127"}));

        // Pick reads the working image: after a trim, its top-left pixel.
        fx.click("pbUtilsApply");
        fx.click("pbPickColor");
        QCOMPARE(fx.keyTexts(), (QStringList{"10", "11", "12"}));

        // A frame trimmed to nothing has no pixel to read.
        fx.frames[0]->sourceImage = fixtures::canvas(2, 2, 0xFF010203u);
        fx.setKey("7", "8", "9");
        fx.click("pbUtilsApply");
        QVERIFY(fx.frames[0]->workImage.isNull());
        fx.click("pbPickColor");
        QCOMPARE(fx.keyTexts(), (QStringList{"7", "8", "9"}));
    }

    void previewStretchesTheFrameOverTheLabel()
    {
        Fixture fx({quadrants()});
        fx.select(0);
        const QImage shot = fx.preview();
        const QRect r = fx.inner();
        QVERIFY(r.width() > 200 && r.height() > 200);
        // The inner corners show the frame's corners: the picture fills the
        // whole inner area, its aspect ratio not kept.
        QCOMPARE(shot.pixelColor(r.topLeft()), QColor(0xC0, 0, 0));
        QCOMPARE(shot.pixelColor(r.topRight()), QColor(0, 0xC0, 0));
        QCOMPARE(shot.pixelColor(r.bottomLeft()), QColor(0, 0, 0xC0));
        QCOMPARE(shot.pixelColor(r.bottomRight()), QColor(0, 0, 0));
        QCOMPARE(shot.pixelColor(r.left() + r.width() * 3 / 4, r.top() + r.height() / 4), QColor(0, 0xC0, 0));

        // Transparency on with the initial black key: the black quadrant
        // shows the label's background.
        fx.setChecked("cbApplyAlpha", true);
        fx.click("pbUtilsApply");
        const QImage keyed = fx.preview();
        QCOMPARE(keyed.pixelColor(r.bottomRight()), kBackground);
        QCOMPARE(keyed.pixelColor(r.left() + r.width() * 3 / 4, r.top() + r.height() * 3 / 4), kBackground);
        QCOMPARE(keyed.pixelColor(r.topLeft()), QColor(0xC0, 0, 0));
    }

    void previewKeepsItsPictureWithoutSelection()
    {
        Fixture fx({quadrants(), fixtures::canvas(4, 4, 0xFF000000u)});
        fx.select(0);
        const QImage before = fx.preview();
        fx.widget<QListWidget>("lwFrameEdit")->clearSelection();
        QCOMPARE(fx.preview(), before);

        // Apply with nothing selected changes the frames, not the picture.
        fx.setChecked("cbApplyAlpha", true);
        fx.click("pbUtilsApply");
        QCOMPARE(fx.preview(), before);

        // The label holds its own copy: destroying the frames changes nothing.
        MainWindowInspector::project(fx.window).clear();
        QCOMPARE(fx.preview(), before);
    }

    void previewFollowsTheStageSelection()
    {
        MainWindow w;
        kestrin::Project &project = MainWindowInspector::project(w);
        const QImage blue = fixtures::canvas(3, 3, 0xFF0000C0u);
        for (const QImage &image : {quadrants(), blue}) {
            kestrin::Frame *frame = project.appendStage()->appendFrame();
            frame->sourceImage = frame->workImage = image;
        }
        project.appendStage(); // without frames
        QVERIFY(MainWindowInspector::refreshStageList(w));
        auto *stages = w.findChild<QListWidget *>(QStringLiteral("lwStageEdit"));
        auto *label = w.findChild<QLabel *>(QStringLiteral("lblPreview"));
        const QPoint centre = label->contentsRect().center();

        stages->setCurrentRow(1); // the frame list selects the stage's first frame
        QCOMPARE(label->grab().toImage().pixelColor(centre), QColor(0, 0, 0xC0));
        stages->setCurrentRow(0);
        const QImage shown = label->grab().toImage();
        QCOMPARE(shown.pixelColor(label->contentsRect().topLeft()), QColor(0xC0, 0, 0));

        stages->setCurrentRow(2); // no frames: the picture stays
        QCOMPARE(w.findChild<QListWidget *>(QStringLiteral("lwFrameEdit"))->count(), 0);
        QCOMPARE(label->grab().toImage(), shown);
    }

    void previewOfANullImageShowsOnlyTheBackground()
    {
        Fixture fx({quadrants(), fixtures::canvas(4, 4, 0xFF000000u)});
        fx.select(0);
        fx.click("pbUtilsApply"); // the second frame is trimmed to nothing
        QVERIFY(fx.frames[1]->workImage.isNull());
        fx.select(1);
        const QImage shot = fx.preview();
        const QRect r = fx.inner();
        for (int y = r.top(); y <= r.bottom(); y += 7)
            for (int x = r.left(); x <= r.right(); x += 7)
                QCOMPARE(shot.pixelColor(x, y), kBackground);
    }
};

KESTRIN_TEST(UtilSlotsTest)
#include "tst_utilslots.moc"
