#pragma once

// A plain benchmark harness: each bench_*.cpp registers named functions with
// KESTRIN_BENCH; `bench [filter]` runs those whose name contains the filter.

#include <QElapsedTimer>
#include <QIODevice>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace kestrinbench {

struct Entry {
    std::string name;
    std::function<void()> run;
};

inline std::vector<Entry> &registry()
{
    static std::vector<Entry> entries;
    return entries;
}

struct Registrar {
    Registrar(const char *name, std::function<void()> run) { registry().push_back({name, std::move(run)}); }
};

/** Runs `fn` `repeats` times and returns the best wall time in milliseconds. */
inline double bestMs(int repeats, const std::function<void()> &fn)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

/** A device that keeps nothing: mapping and streaming without a file. */
class NullDevice : public QIODevice
{
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override { return len; }
};

/** Peak resident set size of the process so far, in bytes (VmHWM). */
long long peakRssBytes();
/** Resets the peak so that the next peakRssBytes() measures from now (Linux). */
void resetPeakRss();
/** Current resident set size in bytes (VmRSS). */
long long currentRssBytes();

} // namespace kestrinbench

#define KESTRIN_BENCH_CAT2(a, b) a##b
#define KESTRIN_BENCH_CAT(a, b) KESTRIN_BENCH_CAT2(a, b)
#define KESTRIN_BENCH(name, fn)                                                                   \
    static const kestrinbench::Registrar KESTRIN_BENCH_CAT(kestrinBench, __LINE__)(name, fn);
