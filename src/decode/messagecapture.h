#pragma once

#include <QString>
#include <QStringList>

namespace kestrin {

/** Collects the Qt messages (qWarning, qDebug, ...) that the current thread
 *  emits while the object lives, instead of letting them reach the installed
 *  message handler (standard error by default).
 *
 *  Image readers report why they decline a file only through such messages;
 *  a decode collects them so that the failure's reason can say it in
 *  Kestrin's words. Each thread has its own collection, so decodes on
 *  several threads at once never see each other's messages, and messages of
 *  other threads go on to the previous handler untouched. Captures nest: an
 *  inner capture collects until it ends, then the outer one resumes. Fatal
 *  messages are never held back.
 *
 *  The capture works by putting its own handler in front of whichever one is
 *  installed when a capture starts; messages it does not collect are passed
 *  on to that handler. */
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    /** The messages collected so far, oldest first, as the readers wrote them. */
    const QStringList &messages() const { return m_collected; }

private:
    friend struct MessageCaptureAccess;
    MessageCapture *m_outer; // the capture this one interrupts on the same thread
    QStringList m_collected;
};

} // namespace kestrin
