// The form's texts at its fixed geometry: in the font start-up sets, and in
// every font it may fall back to, each label, title and button shows its
// whole text with room to spare, and texts of overlapping widgets do not touch.
#include "app/formfont.h"
#include "app/mainwindow.h"
#include "testmain.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QStyleOptionButton>
#include <QTest>

namespace {

constexpr int kSpare = 4; // px each text must leave free at its widget's right

// Width the style needs to show all of w's text, or -1 when w shows none.
int neededWidth(QWidget *w)
{
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title().isEmpty() ? -1 : box->minimumSizeHint().width();
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        // sizeHint() widens any button with text to 80 px; take only the
        // margins the style adds around a content wider than that.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        const QSize wide(1000, text.height());
        return text.width()
            + button->style()->sizeFromContents(QStyle::CT_PushButton, &option, wide, button).width() - wide.width();
    }
    if (auto *button = qobject_cast<QAbstractButton *>(w)) // check and radio buttons: indicator, gap, text
        return button->text().isEmpty() ? -1 : button->sizeHint().width();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text().isEmpty() ? -1 : label->sizeHint().width();
    return -1;
}

// The pixels w's text covers, in its parent's coordinates.
QImage ink(QWidget *w)
{
    QImage image(w->parentWidget()->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w->render(&image, w->pos(), QRegion(), QWidget::DrawChildren); // no background: only the text
    return image;
}

// Whether some inked pixel of a touches or covers one of b.
bool touch(const QImage &a, const QImage &b)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)))
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (b.valid(x + dx, y + dy) && qAlpha(b.pixel(x + dx, y + dy)))
                            return true;
    return false;
}

// Names of the widgets whose text is cut or leaves less than kSpare px, and
// "a+b" for two overlapping widgets whose texts touch, sorted.
QStringList faults(MainWindow &w)
{
    QStringList found;
    const QList<QWidget *> widgets = w.findChildren<QWidget *>();
    for (int i = 0; i < widgets.size(); ++i) {
        QWidget *a = widgets[i];
        const int needed = neededWidth(a);
        if (needed < 0)
            continue;
        if (a->width() - needed < kSpare)
            found << a->objectName();
        for (QWidget *b : widgets.mid(i + 1))
            if (neededWidth(b) >= 0 && a->parentWidget() == b->parentWidget()
                && a->geometry().intersects(b->geometry()) && touch(ink(a), ink(b)))
                found << a->objectName() + QLatin1Char('+') + b->objectName();
    }
    found.sort();
    return found;
}

} // namespace

class FormFontTest : public QObject
{
    Q_OBJECT

    QFont saved;

private slots:
    void init() { saved = QApplication::font(); }
    void cleanup() { QApplication::setFont(saved); }

    void texts_data()
    {
        QTest::addColumn<QString>("family"); // empty: what start-up chooses
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("start-up") << QString() << 0 << QStringList();
        for (const FormFont &f : formFontCandidates())
            QTest::newRow(qPrintable(QStringLiteral("%1 %2 px").arg(f.family).arg(f.pixelSize)))
                << f.family << f.pixelSize << QStringList();
        // What Qt picks on a plain Debian system: each text a user sees cut
        // there, or running into its neighbour, is found.
        QTest::newRow("DejaVu Sans 12 px")
            << QStringLiteral("DejaVu Sans") << 12
            << QStringList{"label", "label_2", "label_3", "label_2+label_3", "label_6", "label_9", "label_10",
                           "label_12", "label_14", "label_15", "cbBoundRect", "cbApplyAlpha"};
    }

    void texts()
    {
        QFETCH(QString, family);
        QFETCH(int, pixelSize);
        if (family.isEmpty()) {
            QVERIFY2(applyFormFont(), "none of the faces is installed (see scripts/packages.txt)");
            // The face that draws, not the name asked for: fontconfig substitutes silently.
            QCOMPARE(QRawFont::fromFont(QApplication::font()).familyName(), formFontCandidates().front().family);
        } else {
            if (!QFontDatabase::hasFamily(family))
                QSKIP("this face is not installed");
            QFont font(family);
            font.setPixelSize(pixelSize);
            QApplication::setFont(font);
        }
        QFETCH(QStringList, expected);
        MainWindow w;
        const QStringList found = faults(w);
        QVERIFY2(!expected.isEmpty() || found.isEmpty(),
                 qPrintable(QLatin1String("cut or crowded: ") + found.join(QLatin1String(", "))));
        for (const QString &name : expected)
            QVERIFY2(found.contains(name), qPrintable(QLatin1String("not found: ") + name));
    }
};

KESTRIN_TEST(FormFontTest)
#include "tst_formfont.moc"
