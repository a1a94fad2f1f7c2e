// The kestrin-art executable. Build systems run it once per sprite and ask
// its version often: it answers "--version" alone without loading Qt and the
// image libraries (a few milliseconds of start-up), and hands every other
// command line to the program proper, a module beside it (in the build tree)
// or in its library folder (installed): the build program, which does
// without Qt GUI, for builds; the full program for info and extract. No Qt
// here.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace {

constexpr int kExitFailure = 1;

/** Writes all of `text` to standard output; 0, or the errno of the failure. */
int writeOut(const char *text, size_t length)
{
    while (length > 0) {
        const ssize_t done = ::write(STDOUT_FILENO, text, length);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        text += done;
        length -= size_t(done);
    }
    return 0;
}

/** The folder of this executable, absolute, with a trailing '/'; empty
 *  when unknown (no /proc). */
std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0 || path[0] != '/')
        return std::string();
    const std::string self(path, size_t(length));
    return self.substr(0, self.rfind('/') + 1);
}

/** What the build program returns for a command line that is not a build. */
constexpr int kNotThisProgram = -1;

/** A loaded program's entry points. */
struct Program {
    int (*run)(int, char **) = nullptr;
    void (*setFullProgram)(const char *) = nullptr;
};

/** The program in the module at `path`, loaded; no entry point (and a
 *  message on standard error) when it cannot be. */
Program loadProgram(const std::string &path)
{
    Program program;
    void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "kestrin-art: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return program;
    }
    program.run = reinterpret_cast<int (*)(int, char **)>(::dlsym(module, "kestrin_art_main"));
    if (!program.run) {
        std::fprintf(stderr, "kestrin-art: %s: %s\n", path.c_str(), ::dlerror());
        return program;
    }
    program.setFullProgram = reinterpret_cast<void (*)(const char *)>(::dlsym(module, "kestrin_art_set_full_program"));
    if (!program.setFullProgram)
        program.setFullProgram = [](const char *) {};
    return program;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        static const char kVersionLine[] = "kestrin-art " KESTRIN_VERSION "\n";
        // A closed standard output reads as EBADF, as a full device reads
        // ENOSPC: either is a failure to write, and said so.
        if (const int error = writeOut(kVersionLine, sizeof kVersionLine - 1)) {
            std::fprintf(stderr, "kestrin-art: standard output: cannot write: %s\n", std::strerror(error));
            return kExitFailure;
        }
        return 0;
    }
    // Only absolute paths: a relative one would load whatever the current
    // folder holds under that name. Without /proc, the installed place.
    const std::string folder = ownFolder();
    const std::string candidates[]
        = {folder.empty() ? std::string(KESTRIN_ART_MODULE_INSTALLED) : folder + KESTRIN_ART_MODULE,
           folder.empty() ? std::string() : folder + KESTRIN_ART_MODULE_FROM_BIN};
    for (const std::string &full : candidates) {
        if (full.empty() || ::access(full.c_str(), F_OK) != 0)
            continue;
        // The build program lies beside the full one. It takes every command
        // line but those of info and extract, and gives back those it finds
        // are not builds after all.
        const std::string build = full.substr(0, full.rfind('/') + 1) + KESTRIN_ART_BUILD_MODULE;
        const bool forBuild
            = !(argc > 1 && (std::strcmp(argv[1], "info") == 0 || std::strcmp(argv[1], "extract") == 0));
        if (forBuild && ::access(build.c_str(), F_OK) == 0) {
            const Program program = loadProgram(build);
            if (!program.run)
                return kExitFailure;
            program.setFullProgram(full.c_str());
            const int status = program.run(argc, argv);
            if (status != kNotThisProgram)
                return status;
        }
        const Program program = loadProgram(full);
        return program.run ? program.run(argc, argv) : kExitFailure;
    }
    if (folder.empty())
        std::fprintf(stderr, "kestrin-art: the program %s is missing\n", KESTRIN_ART_MODULE_INSTALLED);
    else
        std::fprintf(stderr, "kestrin-art: the program %s is missing from %s (and from %s)\n", KESTRIN_ART_MODULE,
                     folder.c_str(), (folder + KESTRIN_ART_MODULE_FROM_BIN).c_str());
    return kExitFailure;
}
