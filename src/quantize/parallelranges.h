#pragma once

#include <QtGlobal>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrin {

/** The number of worker threads a setting asks for: `requested` when it is
 *  at least 1, else one per core (at least 1). */
inline int resolveThreadCount(int requested)
{
    if (requested >= 1)
        return requested;
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

/** Calls fn(part, begin, end) for `parts` contiguous, nearly equal ranges
 *  that cover [0, count) in order, each on its own thread (part 0 on the
 *  calling thread), and returns when all are done. Ranges may be empty.
 *  Where the system refuses a thread (a process or thread limit), the parts
 *  left without one run on the calling thread: the work is the same, only
 *  slower, and nothing is thrown.
 *  Whatever fn computes must not depend on how [0, count) is cut when the
 *  result is to be the same for every number of parts. */
template<typename Fn>
void parallelRanges(int parts, quint64 count, Fn fn)
{
    parts = std::max(1, parts);
    const quint64 share = count / quint64(parts), extra = count % quint64(parts);
    const auto bound = [&](int part) { return share * quint64(part) + std::min<quint64>(quint64(part), extra); };
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(parts - 1));
    int started = 1; // parts [1, started) have a thread
    for (; started < parts; ++started) {
        try {
            helpers.emplace_back([&fn, part = started, b = bound(started), e = bound(started + 1)] { fn(part, b, e); });
        } catch (const std::system_error &) {
            break;
        }
    }
    fn(0, bound(0), bound(1));
    for (int part = started; part < parts; ++part)
        fn(part, bound(part), bound(part + 1));
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace kestrin
