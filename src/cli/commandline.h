#pragma once

#include "generate/generationsettings.h"
#include "project/folderloader.h"
#include "project/framelist.h"

#include "fileio/failure.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kestrin::cli {

/** What `kestrin-art build` was asked to do. Defaults are the window's. */
struct BuildJob {
    FolderPattern source;   // folder (always ending in '/'), pattern, ranges and widths
    QString folderArgument; // the folder as given, for messages
    QString target;         // the .art file to write, as typed
    bool rotatable = false; // --type rotatable
    qint32 frameRate = 0;   // 0 writes the default rate
    qint32 hitFrame = 0;    // 0 writes the last frame of a direction
    quint32 paletteCount = 4;
    bool trim = false;               // the bounding-rectangle pass
    bool quiet = false;              // no progress bar, no summary
    GenerationSettings colors;       // only its colour fields (key, alpha, budget, quantizer, dither, palette, threads)
    bool json = false;               // the job's report as JSON on standard output
    QString depfile;                 // where to write the Make rule of the files read; empty for none
    QString project;                 // the .kestrin file the job starts from; empty for a folder
    Failure projectFailure;          // why that file could not be read; the job then fails with it
    std::optional<FrameList> frames; // the frames the project names one by one, instead of the folder
};

/** What `kestrin-art info` was asked to do. */
struct InfoJob {
    QString file;
    bool json = false;
};

/** What `kestrin-art extract` was asked to do. */
struct ExtractJob {
    QString file;
    QString outDir;
    bool sheet = false;           // one sheet instead of one PNG per frame
    bool gif = false;             // one animated GIF per direction instead of one PNG per frame
    bool indexed = false;         // frames as palette PNGs of the file's indices, and <name>.json
    bool transparentZero = false; // palette index 0 becomes transparent
    bool quiet = false;
};

/** The outcome of reading the command line. */
struct CommandLine {
    enum Kind {
        Build,
        Info,
        Extract,
        ShowText, // print `text` on standard output and succeed (--help, --version)
        Usage,    // print `text` as a usage error and exit with status 2
    };
    Kind kind = Usage;
    QString text;
    BuildJob build;
    InfoJob info;
    ExtractJob extract;
};

/** Parses kestrin-art's arguments (arguments[0] is the program). Every
 *  option is checked here; a wrong one gives Usage with a message naming it. */
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

} // namespace kestrin::cli
