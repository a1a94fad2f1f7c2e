#include "cli/console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <system_error>

#include <sys/ioctl.h>
#include <unistd.h>

namespace kestrin::cli {

namespace {

/** 0, or the errno of a failed write or flush. */
int writeBytes(FILE *stream, const QByteArray &bytes)
{
    errno = 0;
    const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
        && std::fflush(stream) == 0;
    if (ok)
        return 0;
    const int error = errno ? errno : EIO;
    std::clearerr(stream);
    return error;
}

int writeLine(FILE *stream, const QString &line)
{
    return writeBytes(stream, line.toLocal8Bit() + '\n');
}

void writeRaw(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool terminalIsDumb()
{
    const char *term = std::getenv("TERM");
    return !term || !*term || std::strcmp(term, "dumb") == 0;
}

constexpr int kWidestBar = 30;
constexpr int kNarrowestBar = 5;

} // namespace

QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u == '\t')
            out += QStringLiteral("\\t");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

namespace {

/** Length of the valid UTF-8 sequence at `at`, or 0. */
int utf8Length(const QByteArray &bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? quint8(bytes[i]) : 0; };
    const quint8 lead = byte(at);
    if (lead < 0x80)
        return 1;
    int length = lead >= 0xc2 && lead <= 0xdf ? 2
        : lead >= 0xe0 && lead <= 0xef        ? 3
        : lead >= 0xf0 && lead <= 0xf4        ? 4
                                              : 0;
    for (int k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xc0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    const quint8 second = byte(at + 1);
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0) || (lead == 0xf0 && second < 0x90)
        || (lead == 0xf4 && second >= 0x90))
        return 0;
    return length;
}

} // namespace

QString printableBytes(const QByteArray &bytes)
{
    QString out;
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = utf8Length(bytes, at);
        if (length == 0) {
            out += QStringLiteral("\\x%1").arg(uint(quint8(bytes[at])), 2, 16, QLatin1Char('0'));
            ++at;
        } else {
            out += printable(QString::fromUtf8(bytes.constData() + at, length));
            at += length;
        }
    }
    return out;
}

int terminalColumns()
{
    struct winsize size {
    };
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

QString progressLine(const QString &text, int percent, int columns)
{
    percent = qBound(0, percent, 100);
    const int room = qMax(1, columns - 1); // the last column would wrap on some terminals
    const QString number = QStringLiteral("%1%").arg(percent, 3);
    // "[bar] 100% text": the bar takes what the text leaves, within limits.
    const int barWidth = qBound(kNarrowestBar, room - int(number.size()) - 4 - int(text.size()), kWidestBar);
    const int filled = percent * barWidth / 100;
    QString line
        = QStringLiteral("[%1%2] %3 %4")
              .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char(' ')), number, text);
    if (line.size() > room) {
        // Too narrow even for the smallest bar: the percentage and the text.
        line = number + QLatin1Char(' ') + text;
        if (line.size() > room)
            line.truncate(room);
    }
    return line;
}

Console::Console(Notes notes)
    : m_notes(notes),
      m_barEnabled(notes != Notes::Quiet && isatty(STDERR_FILENO) == 1),
      m_dumb(terminalIsDumb())
{
}

Console::~Console()
{
    endProgress();
}

void Console::out(const QString &line)
{
    endProgress();
    const int error = writeLine(stdout, line);
    if (error && !m_outError)
        m_outError = error;
}

int Console::finish(int status)
{
    if (!m_outError && std::fflush(stdout) != 0)
        m_outError = errno ? errno : EIO;
    if (!m_outError)
        return status;
    error(QStringLiteral("standard output"),
          QStringLiteral("cannot write: %1").arg(QString::fromStdString(std::generic_category().message(m_outError))));
    return ExitFailure;
}

int writeStandardOutput(const QByteArray &bytes)
{
    return writeBytes(stdout, bytes);
}

void Console::note(const QString &line)
{
    if (m_notes == Notes::Stdout)
        out(printable(line));
    else if (m_notes == Notes::Stderr)
        error(line);
}

void Console::error(const QString &message)
{
    endProgress();
    (void)writeLine(stderr, QStringLiteral("kestrin-art: ") + printable(message));
}

void Console::error(const QString &subject, const QString &message)
{
    error(subject + QStringLiteral(": ") + message);
}

void Console::progress(const QString &text, int percent)
{
    if (!m_barEnabled)
        return;
    const QString line = progressLine(text, percent, terminalColumns());
    if (m_barShowing && line == m_shownLine)
        return;
    // "\r" returns to the start of the line; what a longer line left behind
    // is cleared with "\033[K", or overwritten with spaces where the
    // terminal knows no escape sequences.
    QString draw = QLatin1Char('\r') + line;
    if (m_dumb)
        draw += QString(qMax(0, m_shownLength - int(line.size())), QLatin1Char(' '));
    else
        draw += QStringLiteral("\033[K");
    writeRaw(draw);
    m_shownLine = line;
    m_shownLength = int(line.size());
    m_barShowing = true;
}

void Console::endProgress()
{
    if (!m_barShowing)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_barShowing = false;
    m_shownLength = 0;
    m_shownLine.clear();
}

} // namespace kestrin::cli
