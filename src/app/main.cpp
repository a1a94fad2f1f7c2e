#include "app/formfont.h"
#include "app/mainwindow.h"
#include "app/windowcommandline.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace {

// Matches the installed desktop entry, so docks and Wayland compositors show
// the entry's name and icon for the window.
const char *const kDesktopId = "io.github.kestrin.Kestrin";

/** The application icon in every size the resource holds (the theme icon's PNGs). */
QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(QLatin1String(kDesktopId)),
                     QSize(size, size));
    }
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before QApplication exists: --help and --version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const WindowCommandLine line = parseWindowCommandLine(arguments);
    switch (line.kind) {
    case WindowCommandLine::Help:
    case WindowCommandLine::Version:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case WindowCommandLine::Usage:
        std::fputs(line.text.toLocal8Bit().constData(), stderr);
        return kUsageExit;
    case WindowCommandLine::Run:
        break;
    }

    QApplication app(argc, argv);
    applyFormFont();
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
    QApplication::setWindowIcon(applicationIcon());
    int result = 0;
    {
        MainWindow window;
        window.show();
        for (const QString &file : line.files)
            window.openSprite(file);
        result = app.exec();
    }
    return result;
}
