#include "decode/messagecapture.h"

#include <QtGlobal>

#include <atomic>
#include <cstdio>

namespace kestrin {

struct MessageCaptureAccess {
    static void add(MessageCapture &capture, const QString &message) { capture.m_collected.append(message); }
};

namespace {

thread_local MessageCapture *tCurrent = nullptr; // innermost capture of this thread
thread_local bool tForwarding = false;           // this thread is inside the handler we pass on to

// The handler that was installed before ours; messages we do not collect go there.
std::atomic<QtMessageHandler> gNext{nullptr};

void printPlainly(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = qFormatLogMessage(type, context, message);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (tCurrent && type != QtFatalMsg) {
        MessageCaptureAccess::add(*tCurrent, message);
        return;
    }
    const QtMessageHandler next = gNext.load();
    // A handler installed after ours may pass its messages back to us, which
    // would pass them on again: print once instead of going round for ever.
    if (!next || next == captureHandler || tForwarding) {
        printPlainly(type, context, message);
        return;
    }
    tForwarding = true;
    next(type, context, message);
    tForwarding = false;
}

} // namespace

MessageCapture::MessageCapture() : m_outer(tCurrent)
{
    // Installing again at every capture keeps ours in front even when
    // someone (a test framework, the application) installed another since.
    const QtMessageHandler previous = qInstallMessageHandler(captureHandler);
    if (previous != captureHandler)
        gNext.store(previous);
    tCurrent = this;
}

MessageCapture::~MessageCapture()
{
    tCurrent = m_outer;
}

} // namespace kestrin
