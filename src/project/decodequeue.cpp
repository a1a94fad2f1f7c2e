#include "project/decodequeue.h"

#include <algorithm>
#include <system_error>

namespace kestrin {

DecodeQueue::DecodeQueue(const QStringList &files, int threads)
    : m_paths(files),
      m_entries(std::make_unique<Entry[]>(size_t(files.size()))),
      m_firstFailure(files.size())
{
    const qsizetype count = std::min<qsizetype>(threads, files.size());
    if (count <= 1)
        return; // take() loads every file itself
    try {
        m_workers.reserve(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            m_workers.emplace_back([this] { work(); });
    } catch (const std::system_error &) {
        // Fewer threads than asked for: take() loads whatever no worker claims.
    }
}

DecodeQueue::~DecodeQueue()
{
    m_stopping.store(true);
    for (std::thread &worker : m_workers)
        worker.join();
}

void DecodeQueue::work()
{
    while (!m_stopping.load()) {
        const qsizetype index = m_nextClaim.fetch_add(1);
        // Claims only grow and the first failure only moves down, so once one
        // index is out of reach every later one is too.
        if (index >= m_paths.size() || index > m_firstFailure.load())
            return;
        if (!m_entries[size_t(index)].claimed.exchange(true))
            load(index);
    }
}

void DecodeQueue::load(qsizetype index)
{
    Loaded loaded;
    loaded.ok = !loadFrame(loaded.frame, m_paths.at(index), &loaded.result);
    if (!loaded.ok) {
        qsizetype seen = m_firstFailure.load();
        while (index < seen && !m_firstFailure.compare_exchange_weak(seen, index)) {}
    }
    Entry &entry = m_entries[size_t(index)];
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        entry.loaded = std::move(loaded);
        entry.ready = true;
    }
    m_entryReady.notify_all();
}

const DecodeQueue::Loaded &DecodeQueue::take(qsizetype index)
{
    Entry &entry = m_entries[size_t(index)];
    // Not claimed yet (no workers, or they have not got this far): load it here
    // rather than wait.
    if (!entry.claimed.exchange(true))
        load(index);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_entryReady.wait(lock, [&entry] { return entry.ready; });
    return entry.loaded;
}

} // namespace kestrin
