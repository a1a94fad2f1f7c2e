#include "app/formfont.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QIcon>

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
    QApplication app(argc, argv);
    applyFormFont();
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
    QApplication::setWindowIcon(applicationIcon());
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
