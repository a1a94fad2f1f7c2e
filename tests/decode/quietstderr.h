#pragma once

// Runs a piece of code with standard error pointed at a temporary file, and
// gives back what was written there: the decoder's libraries must never
// print.

#include <QByteArray>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace kestrintest {

template<typename Run>
QByteArray stderrOf(Run run)
{
    QTemporaryFile sink;
    if (!sink.open())
        return QByteArray("cannot make a temporary file");
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(sink.handle(), 2);
    run();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    sink.seek(0);
    return sink.readAll();
}

} // namespace kestrintest
