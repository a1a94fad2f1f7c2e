#pragma once

#include "project/frame.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrin {

/** Loads a list of frame files on worker threads while the caller takes the
 *  results one by one, in list order.
 *
 *  Workers claim files in list order. Once a file fails, no file after it is
 *  claimed any more: a caller that stops at the first failure never needs
 *  them. With one thread (or when no worker can be started) nothing runs in
 *  the background and take() loads each file itself, on the calling thread,
 *  when it is asked for: exactly a sequential loop.
 *
 *  take() must be called by one thread only. The destructor stops the
 *  workers (each finishes the file it holds) and waits for them. */
class DecodeQueue
{
public:
    /** What loadFrame made of one file. */
    struct Loaded {
        Frame frame;         // the loaded frame; untouched (empty) when the file failed
        DecodeResult result; // the decode's outcome, with the reason of a failure
        bool ok = false;
    };

    /** Starts loading `paths` on `threads` threads (at least 1; never more
     *  than there are files). */
    DecodeQueue(const QStringList &paths, int threads);
    ~DecodeQueue();
    DecodeQueue(const DecodeQueue &) = delete;
    DecodeQueue &operator=(const DecodeQueue &) = delete;

    /** The outcome for paths[index], waiting for it if need be. The reference
     *  stays valid for the queue's lifetime. */
    const Loaded &take(qsizetype index);

private:
    void work();
    void load(qsizetype index);

    struct Entry {
        std::atomic<bool> claimed{false}; // someone loads it, or has loaded it
        bool ready = false;               // `loaded` is final; guarded by `mutex`
        Loaded loaded;                    // written once, before `ready`
    };

    const QStringList m_paths;
    std::unique_ptr<Entry[]> m_entries;
    std::atomic<qsizetype> m_nextClaim{0}; // the next file a worker tries to claim
    std::atomic<qsizetype> m_firstFailure; // lowest index that failed so far; files past it are not claimed
    std::atomic<bool> m_stopping{false};   // the caller is done: claim nothing more
    std::mutex m_mutex;
    std::condition_variable m_entryReady;
    std::vector<std::thread> m_workers;
};

} // namespace kestrin
