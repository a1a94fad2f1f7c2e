#include "diag/log.h"

#include <QFile>
#include <QStringConverter>
#include <QTextStream>
#include <QTime>

#include <cstdio>

namespace kestrin {

namespace {

ErrorBoxHandler &errorBoxHandler()
{
    static ErrorBoxHandler handler;
    return handler;
}

void writeLine(const char *level, const QByteArray &message)
{
    const QByteArray time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1();

    QFile file(QStringLiteral("debug.txt"));
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        QTextStream stream(&file);
        stream.setEncoding(QStringConverter::System);
        stream << QLatin1String(level) << QLatin1String(time) << QLatin1String("):") << QString::fromLatin1(message)
               << '\n';
        stream.flush();
        file.close();
    }

    QByteArray line;
    line.reserve(message.size() + 24);
    line.append(level).append(time).append("):").append(message).append('\n');
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
}

} // namespace

void Debug(const QByteArray &message)
{
    writeLine("Debug(", message);
}

void Warning(const QByteArray &message)
{
    writeLine("Warning(", message);
}

void Error(const QByteArray &message, bool showBox)
{
    writeLine("Error(", message);
    if (showBox && errorBoxHandler())
        errorBoxHandler()(QString::fromLatin1(message));
}

void setErrorBoxHandler(ErrorBoxHandler handler)
{
    errorBoxHandler() = std::move(handler);
}

} // namespace kestrin
