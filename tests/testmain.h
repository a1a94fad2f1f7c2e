#pragma once

// Lets one test executable per subsystem hold several Qt Test classes: each
// test source registers its class with KESTRIN_TEST(Class), and the shared
// main runs them in registration order (or only the one named by -class),
// failing if any fails. CTest runs each class as an entry of its own; the
// build finds the classes by reading KESTRIN_TEST(...) in the suite's sources.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace kestrintest {

using Factory = std::function<std::unique_ptr<QObject>()>;

struct Registration {
    const char *name; // the class name as written in KESTRIN_TEST
    Factory factory;
};

inline std::vector<Registration> &registry()
{
    static std::vector<Registration> registrations;
    return registrations;
}

struct Registrar {
    Registrar(const char *name, Factory factory)
    {
        registry().push_back({name, std::move(factory)});
    }
};

} // namespace kestrintest

#define KESTRIN_TEST(Class)                                                                       \
    static const kestrintest::Registrar kestrinRegistrar##Class(                                  \
        #Class, [] { return std::unique_ptr<QObject>(new Class); });
