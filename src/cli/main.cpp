// kestrin-art: the command line over Kestrin's core. One parser, then one
// runner; no window and no display needed.
#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/console.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

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

Console::Notes notesFor(bool quiet, bool stdoutCarriesData)
{
    if (quiet)
        return Console::Notes::Quiet;
    return stdoutCarriesData ? Console::Notes::Stderr : Console::Notes::Stdout;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace kestrin::cli;
    qInstallMessageHandler(messageHandler);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrin-art"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));

    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    switch (line.kind) {
    case CommandLine::ShowText: {
        const QByteArray text = line.text.toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
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
        Console console(
            notesFor(job.quiet, job.target == QLatin1String("-") || job.json || job.depfile == QLatin1String("-")));
        return runBuild(line.build, console);
    }
    case CommandLine::Info: {
        Console console;
        return runInfo(line.info, console);
    }
    case CommandLine::Extract: {
        Console console(notesFor(line.extract.quiet, false));
        return runExtract(line.extract, console);
    }
    }
    return ExitUsage;
}
