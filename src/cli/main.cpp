// kestrin-art: the command line over Kestrin's core. One parser, then one
// runner; no window and no display needed.
#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/console.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace kestrin::cli;
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
        std::fputs("Try 'kestrin-art --help' or 'kestrin-art COMMAND --help'.\n", stderr);
        return ExitUsage;
    }
    case CommandLine::Build: {
        Console console(line.build.quiet);
        return runBuild(line.build, console);
    }
    case CommandLine::Info: {
        Console console;
        return runInfo(line.info, console);
    }
    case CommandLine::Extract: {
        Console console(line.extract.quiet);
        return runExtract(line.extract, console);
    }
    }
    return ExitUsage;
}
