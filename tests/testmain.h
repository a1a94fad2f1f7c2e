#pragma once

// Lets one test executable per subsystem hold several Qt Test classes: each
// test source registers its class with KESTRIN_TEST(Class), and the shared
// main runs them all in registration order, failing if any fails.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace kestrintest {

using Factory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<Factory> &registry()
{
    static std::vector<Factory> factories;
    return factories;
}

struct Registrar {
    explicit Registrar(Factory factory) { registry().push_back(std::move(factory)); }
};

} // namespace kestrintest

#define KESTRIN_TEST(Class)                                                                       \
    static const kestrintest::Registrar kestrinRegistrar##Class(                                  \
        [] { return std::unique_ptr<QObject>(new Class); });
