#include "app/windowcommandline.h"

#include <QSet>

namespace {

const QString kHelp = QStringLiteral("Usage: kestrin [options] [FILE.art...]\n"
                                     "Opens the Kestrin window, which turns numbered image frames into one\n"
                                     "palette-based .art sprite file. Each FILE.art opens in a sprite viewer.\n"
                                     "\n"
                                     "Options:\n"
                                     "  -h, --help       show this help\n"
                                     "  -v, --version    show the version\n"
                                     "  --               every argument after this one is a file\n"
                                     "\n"
                                     "Qt's standard options are accepted too (-platform NAME, -style STYLE,\n"
                                     "-reverse, ...).\n"
                                     "\n"
                                     "Sprite viewer keys: Space play/pause, Left/Right one frame back/forward,\n"
                                     "Up/Down next/previous direction, +/- zoom, C centre cross-hair.\n"
                                     "\n"
                                     "Exit status: 0 when the window is closed, 2 wrong command line.\n");

/** Qt options that take a value (QGuiApplication and QApplication's). */
const QSet<QString> &qtValueOptions()
{
    static const QSet<QString> options = {
        QStringLiteral("platform"),
        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"),
        QStringLiteral("geometry"),
        QStringLiteral("qwindowtitle"),
        QStringLiteral("title"),
        QStringLiteral("qwindowicon"),
        QStringLiteral("icon"),
        QStringLiteral("style"),
        QStringLiteral("stylesheet"),
        QStringLiteral("session"),
        QStringLiteral("display"),
        QStringLiteral("name"),
        QStringLiteral("qmljsdebugger"),
    };
    return options;
}

/** Qt options without a value. */
const QSet<QString> &qtFlagOptions()
{
    static const QSet<QString> options = {
        QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
        QStringLiteral("dograb"),  QStringLiteral("sync"),
    };
    return options;
}

WindowCommandLine usage(const QString &message)
{
    WindowCommandLine line;
    line.kind = WindowCommandLine::Usage;
    line.text = QStringLiteral("kestrin: %1\nTry 'kestrin --help' for more information.\n").arg(message);
    return line;
}

} // namespace

WindowCommandLine parseWindowCommandLine(const QStringList &arguments)
{
    WindowCommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            line.files.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            line.files.clear();
            line.kind = WindowCommandLine::Help;
            line.text = kHelp;
            return line;
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            line.files.clear();
            line.kind = WindowCommandLine::Version;
            line.text = QStringLiteral("kestrin %1\n").arg(QStringLiteral(KESTRIN_VERSION));
            return line;
        } else {
            // Qt reads "-style x", "--style x" and "-style=x" alike.
            const QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
            const bool joined = arg.contains(QLatin1Char('='));
            if (qtFlagOptions().contains(name) && !joined)
                continue;
            if (!qtValueOptions().contains(name))
                return usage(QStringLiteral("unknown option '%1'").arg(arg));
            if (!joined && ++i >= arguments.size())
                return usage(QStringLiteral("option '%1' needs a value").arg(arg));
        }
    }
    return line;
}
