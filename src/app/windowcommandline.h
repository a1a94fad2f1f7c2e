#pragma once

#include <QString>
#include <QStringList>

/** What the command line of the window asks for. */
struct WindowCommandLine {
    enum Kind {
        Run,     // open the window, and a sprite viewer for each file
        Help,    // print `text` on standard output, exit 0
        Version, // likewise
        Usage,   // print `text` on standard error, exit 2
    };
    Kind kind = Run;
    QStringList files; // sprite files to open, in the order given
    QString text;      // what Help, Version and Usage print
};

/** Reads the arguments (the program's name first) without starting Qt, so
 *  --help and --version need no display. Qt's own options (-platform,
 *  -style, -reverse, ...) are let through for QApplication to take; any
 *  other argument that starts with "-" (but is not "-" itself) is a usage
 *  error, and everything after "--" is a file. */
WindowCommandLine parseWindowCommandLine(const QStringList &arguments);

/** Exit status of a usage error. */
constexpr int kUsageExit = 2;
