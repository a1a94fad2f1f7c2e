#include "testmain.h"

#ifdef KESTRIN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QTest>

// Runs every registered test class. Qt Test options (-v2, -o, a function
// name) apply to each class; a function name only matches in its own class.
int main(int argc, char *argv[])
{
#ifdef KESTRIN_TEST_GUI
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
#endif
    TestApplication app(argc, argv);
    int failures = 0;
    for (const auto &factory : kestrintest::registry()) {
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
