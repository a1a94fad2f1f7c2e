#include "testmain.h"

#ifdef KESTRIN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// The options this main takes for itself, removed before Qt Test sees the rest.
struct MainOptions {
    bool listClasses = false; // -list-classes: print one registered class a line
    const char *onlyClass = nullptr; // -class NAME: run that class alone
    const char *expectedClasses = nullptr; // -expect-classes "A;B": check the registry
    std::vector<char *> rest; // argv for Qt Test
};

MainOptions takeMainOptions(int argc, char *argv[])
{
    MainOptions options;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "-list-classes") == 0)
            options.listClasses = true;
        else if (std::strcmp(argv[i], "-class") == 0 && hasValue)
            options.onlyClass = argv[++i];
        else if (std::strcmp(argv[i], "-expect-classes") == 0 && hasValue)
            options.expectedClasses = argv[++i];
        else
            options.rest.push_back(argv[i]);
    }
    return options;
}

std::set<std::string> splitList(const char *list)
{
    std::set<std::string> names;
    std::string name;
    for (const char *c = list;; ++c) {
        if (*c == ';' || *c == '\0') {
            if (!name.empty())
                names.insert(name);
            name.clear();
            if (*c == '\0')
                break;
        } else {
            name += *c;
        }
    }
    return names;
}

// The build registers one CTest entry per class it found in the sources; a
// class it missed would never run. Fails, naming it, when the two disagree.
int checkExpectedClasses(const char *expected)
{
    const std::set<std::string> listed = splitList(expected);
    std::set<std::string> registered;
    for (const auto &registration : kestrintest::registry())
        registered.insert(registration.name);
    int status = 0;
    for (const auto &name : registered) {
        if (!listed.count(name)) {
            std::fprintf(stderr, "%s is registered but has no CTest entry: write KESTRIN_TEST(%s) "
                                 "on a line of its own in a tst_*.cpp file\n",
                         name.c_str(), name.c_str());
            status = 1;
        }
    }
    for (const auto &name : listed) {
        if (!registered.count(name)) {
            std::fprintf(stderr, "%s has a CTest entry but is not registered\n", name.c_str());
            status = 1;
        }
    }
    return status;
}

} // namespace

// Runs the registered test classes. Qt Test options (-v2, -o, a function
// name) apply to each class; a function name only matches in its own class.
int main(int argc, char *argv[])
{
    MainOptions options = takeMainOptions(argc, argv);
    if (options.listClasses) {
        for (const auto &registration : kestrintest::registry())
            std::printf("%s\n", registration.name);
        return 0;
    }
    if (options.expectedClasses)
        return checkExpectedClasses(options.expectedClasses);

#ifdef KESTRIN_TEST_GUI
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
#endif
    // Whatever a test remembers (QSettings) goes to a folder of this run's
    // own, never to the user's configuration, and is gone when it ends.
    QTemporaryDir settings;
    if (settings.isValid())
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    int qtArgc = int(options.rest.size());
    options.rest.push_back(nullptr);
    char **qtArgv = options.rest.data();
    TestApplication app(qtArgc, qtArgv);
    int failures = 0;
    bool ranAny = false;
    for (const auto &registration : kestrintest::registry()) {
        if (options.onlyClass && std::strcmp(options.onlyClass, registration.name) != 0)
            continue;
        ranAny = true;
        std::unique_ptr<QObject> test = registration.factory();
        failures += QTest::qExec(test.get(), qtArgc, qtArgv);
    }
    if (options.onlyClass && !ranAny) {
        std::fprintf(stderr, "no test class named %s\n", options.onlyClass);
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
