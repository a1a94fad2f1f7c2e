#include "benchharness.h"

#include <QFile>
#include <QApplication>

#include <cstring>

namespace kestrinbench {

namespace {
long long statusField(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<int>(std::strlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}
} // namespace

long long peakRssBytes()
{
    return statusField("VmHWM:");
}

long long currentRssBytes()
{
    return statusField("VmRSS:");
}

void resetPeakRss()
{
    // Writing 5 to clear_refs resets VmHWM to the current RSS (Linux >= 4.0).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace kestrinbench

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string filter = argc > 1 ? argv[1] : "";
    for (const auto &entry : kestrinbench::registry()) {
        if (filter.empty() || entry.name.find(filter) != std::string::npos) {
            std::printf("== %s ==\n", entry.name.c_str());
            std::fflush(stdout);
            entry.run();
        }
    }
    return 0;
}
