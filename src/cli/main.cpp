// kestrin-art's program: the command line over Kestrin's core. One parser,
// then one runner; no window and no display needed.
#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/console.h"

#include "decode/guireaders.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

/** What the build program returns for a command line it leaves to the full
 *  program: never an exit status. */
constexpr int kNotThisProgram = -1;

/** Qt's own messages never reach standard error as they are: warnings get
 *  the program's prefix, debugging output is dropped. */
void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    const QByteArray line = "kestrin-art: warning: " + message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

using kestrin::cli::Console;

/** Ends the process with `status` once a job is over: every output is in
 *  place and standard output is flushed (Console::finish), so nothing is
 *  left for the tear-down of Qt and the libraries to do but free memory and
 *  unmap, which the system does at once. That takes a millisecond, as much
 *  as a small job's colour reduction, and a build system runs kestrin-art
 *  once per sprite. Builds with sanitizers return normally, so that their
 *  leak checks still run. */
int leave(int status)
{
#ifdef __SANITIZE_ADDRESS__
    return status;
#else
    std::fflush(stderr);
    std::_Exit(status);
#endif
}

Console::Notes notesFor(bool quiet, bool stdoutCarriesData)
{
    if (quiet)
        return Console::Notes::Quiet;
    return stdoutCarriesData ? Console::Notes::Stderr : Console::Notes::Stdout;
}

/** A standard stream the process was started without would be the number
 *  the next file opened gets, and lines meant for the terminal would land in
 *  that file. Each closed one is held by a read-only descriptor instead, so
 *  that writing to it fails ("Bad file descriptor") and is reported. */
void holdClosedStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

/** The first argument that Qt's decoding cannot carry back to the same
 *  bytes (invalid UTF-8): used as a name, it would reach a different file. */
int firstInexactArgument(int argc, char *argv[], const QStringList &arguments)
{
    for (int i = 1; i < argc && i < arguments.size(); ++i) {
        if (QFile::encodeName(arguments[i]) != QByteArray(argv[i]))
            return i;
    }
    return 0;
}

#ifdef KESTRIN_PLAIN_IMAGES
/** The full program (libkestrin-art.so), whose readers decode the frames
 *  that need Qt GUI. */
QByteArray fullProgram;

const kestrin::GuiReaders *loadGuiReaders(QString &why)
{
    if (fullProgram.isEmpty()) {
        why = QStringLiteral("the readers of this format are not installed");
        return nullptr;
    }
    void *program = ::dlopen(fullProgram.constData(), RTLD_NOW | RTLD_LOCAL);
    const auto readers = program
        ? reinterpret_cast<const kestrin::GuiReaders *(*)()>(::dlsym(program, "kestrin_art_gui_readers"))
        : nullptr;
    if (!readers) {
        why = QStringLiteral("its reader cannot be loaded: %1").arg(QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
    return readers();
}
#endif

} // namespace

#ifdef KESTRIN_PLAIN_IMAGES
// The build program (libkestrin-art-build.so) is told where the full program
// is before it runs; it loads it only for frames that need Qt GUI.
extern "C" Q_DECL_EXPORT void kestrin_art_set_full_program(const char *path)
{
    fullProgram = QByteArray(path);
}
#else
// The readers that need Qt GUI, for the build program.
extern "C" Q_DECL_EXPORT const kestrin::GuiReaders *kestrin_art_gui_readers()
{
    return &kestrin::guiReaders();
}
#endif

// The program proper, which the kestrin-art executable (launcher.cpp) loads
// for every command line but the version alone. The build program gives back
// the command lines of info and extract untouched, before anything is
// written, returning kNotThisProgram.
extern "C" Q_DECL_EXPORT int kestrin_art_main(int argc, char *argv[])
{
    using namespace kestrin::cli;
#ifdef KESTRIN_PLAIN_IMAGES
    kestrin::setGuiReadersLoader(loadGuiReaders);
#endif
    holdClosedStreams();
    qInstallMessageHandler(messageHandler);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrin-art"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));

    if (const int inexact = firstInexactArgument(argc, argv, QCoreApplication::arguments())) {
        Console console;
        console.error(QStringLiteral("\"%1\": not valid UTF-8; kestrin-art cannot use this name exactly as given, "
                                     "so nothing was done")
                          .arg(printableBytes(QByteArray(argv[inexact]))));
        return ExitUsage;
    }
    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    switch (line.kind) {
    case CommandLine::ShowText: {
        if (const int error = writeStandardOutput(line.text.toLocal8Bit())) {
            Console console;
            console.error(
                QStringLiteral("standard output"),
                QStringLiteral("cannot write: %1").arg(QString::fromStdString(std::generic_category().message(error))));
            return ExitFailure;
        }
        return ExitSuccess;
    }
    case CommandLine::Usage: {
        Console console;
        console.error(line.text);
        console.error(QStringLiteral("try 'kestrin-art --help' or 'kestrin-art COMMAND --help'"));
        return ExitUsage;
    }
    case CommandLine::Build: {
        const BuildJob &job = line.build;
        // A job that writes files must not die half-way when standard output
        // goes away: the failed write is reported instead.
        if (job.target != QLatin1String("-"))
            std::signal(SIGPIPE, SIG_IGN);
        Console console(
            notesFor(job.quiet, job.target == QLatin1String("-") || job.json || job.depfile == QLatin1String("-")));
        return leave(console.finish(runBuild(line.build, console)));
    }
#ifdef KESTRIN_PLAIN_IMAGES
    case CommandLine::Info:
    case CommandLine::Extract:
        return kNotThisProgram;
#else
    case CommandLine::Info: {
        Console console;
        return leave(console.finish(runInfo(line.info, console)));
    }
    case CommandLine::Extract: {
        std::signal(SIGPIPE, SIG_IGN);
        Console console(notesFor(line.extract.quiet, false));
        return leave(console.finish(runExtract(line.extract, console)));
    }
#endif
    }
    return ExitUsage;
}
