#pragma once

// What the window suites share: the window's remembered settings kept in a
// folder of the test's own, and an answerer for the message boxes a click
// opens.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace windowfixture {

/** The window's settings store, in the test's own configuration folder
 *  (XDG_CONFIG_HOME is set to a temporary folder before the suite starts). */
inline void clearSettings()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("kestrin"), QStringLiteral("kestrin"))
        .clear();
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

/** While it lives, answers every message box that opens with `answer`
 *  (or Ok when the box has no such button) and records what it showed. */
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { answerOpenBox(); });
        m_timer.start(5);
    }
    QList<SeenBox> boxes;
    QStringList texts() const
    {
        QStringList result;
        for (const SeenBox &box : boxes)
            result << box.text;
        return result;
    }

private:
    void answerOpenBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        boxes.append({box->windowTitle(), box->text(), box->icon()});
        QAbstractButton *button = box->button(m_answer);
        (button ? button : box->button(QMessageBox::Ok))->click();
    }
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};

} // namespace windowfixture
