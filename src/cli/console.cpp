#include "cli/console.h"

#include <cstdio>
#include <unistd.h>

namespace kestrin::cli {

namespace {

void writeLine(FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

constexpr int kBarWidth = 30;

} // namespace

Console::Console(bool quiet)
    : m_quiet(quiet)
    , m_barEnabled(!quiet && isatty(STDERR_FILENO) == 1)
{
}

Console::~Console()
{
    endProgress();
}

void Console::out(const QString &line)
{
    endProgress();
    writeLine(stdout, line);
}

void Console::note(const QString &line)
{
    if (!m_quiet)
        out(line);
}

void Console::error(const QString &message)
{
    endProgress();
    writeLine(stderr, QStringLiteral("kestrin-art: ") + message);
}

void Console::error(const QString &subject, const QString &message)
{
    error(subject + QStringLiteral(": ") + message);
}

void Console::progress(const QString &text, int percent)
{
    if (!m_barEnabled)
        return;
    percent = qBound(0, percent, 100);
    const int filled = percent * kBarWidth / 100;
    // "\r" returns to the start of the line; the trailing "\033[K" clears
    // whatever a longer previous text left behind.
    const QString bar = QStringLiteral("\r[%1%2] %3% %4\033[K")
                            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char(' ')))
                            .arg(percent, 3)
                            .arg(text);
    const QByteArray bytes = bar.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    m_barShowing = true;
}

void Console::endProgress()
{
    if (!m_barShowing)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_barShowing = false;
}

} // namespace kestrin::cli
