#include "app/diagnosticlog.h"

#include <QFile>
#include <QStringConverter>
#include <QTextStream>
#include <QTime>

#include <cstdio>

namespace kestrin {

void logError(const QByteArray &message)
{
    static const char level[] = "Error(";
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

} // namespace kestrin
