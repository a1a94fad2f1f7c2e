#pragma once

// Private special files for tests: small tmpfs mounts, device nodes and
// FIFOs made inside a temporary folder, never the machine's own. A test
// that cannot make one (no root, no CAP_MKNOD, no mount in this container)
// skips with a message that says so.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace specialfiles {

inline QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

inline QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

/** A tmpfs of `bytes` mounted on a new folder `path`, unmounted when the
 *  object goes. `error` says why mounting failed. */
class TmpfsMount
{
public:
    TmpfsMount(const QString &path, qint64 bytes)
        : m_path(path)
    {
        QDir().mkpath(path);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        if (::mount("tmpfs", native(path).constData(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QStringLiteral("cannot mount a tmpfs on %1 (%2); run as root, outside a restricted "
                                     "container, to test a full disk")
                          .arg(path, errnoText());
    }
    ~TmpfsMount()
    {
        if (m_mounted && ::umount2(native(m_path).constData(), 0) != 0)
            (void)::umount2(native(m_path).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool mounted() const { return m_mounted; }
    const QString &error() const { return m_error; }

private:
    QString m_path;
    bool m_mounted = false;
    QString m_error;
};

/** Writes `path` until the file system is full, then gives back `room`
 *  bytes. True when the writing ended with ENOSPC, as it must. */
inline bool fillUp(const QString &path, qint64 room = 0)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    int error = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n <= 0) {
            error = errno;
            break;
        }
    }
    bool ok = error == ENOSPC;
    if (ok && room > 0) {
        struct stat status {};
        ok = ::fstat(fd, &status) == 0 && ::ftruncate(fd, qMax<qint64>(0, status.st_size - room)) == 0;
    }
    ::close(fd);
    return ok;
}

/** A character device node made with mknod at `path`; empty on success,
 *  else why it could not be made (the test skips then). */
inline QString makeCharDevice(const QString &path, unsigned major, unsigned minor)
{
    if (::mknod(native(path).constData(), S_IFCHR | 0666, makedev(major, minor)) == 0)
        return QString();
    return QStringLiteral("cannot make a private device node %1 (%2); needs root with CAP_MKNOD")
        .arg(path, errnoText());
}

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(native(path).constData(), 0644) == 0;
}

/** What lstat says `path` is: 'f' regular file, 'l' link, 'p' FIFO, 'c'
 *  character device, 'd' folder, '?' other, '-' nothing. */
inline char typeOf(const QString &path)
{
    struct stat status {};
    if (::lstat(native(path).constData(), &status) != 0)
        return '-';
    if (S_ISREG(status.st_mode))
        return 'f';
    if (S_ISLNK(status.st_mode))
        return 'l';
    if (S_ISFIFO(status.st_mode))
        return 'p';
    if (S_ISCHR(status.st_mode))
        return 'c';
    if (S_ISDIR(status.st_mode))
        return 'd';
    return '?';
}

inline quint64 inodeOf(const QString &path)
{
    struct stat status {};
    return ::stat(native(path).constData(), &status) == 0 ? quint64(status.st_ino) : 0;
}

/** Reads everything written into a FIFO on its own thread, with a time
 *  limit, so a test never hangs on a FIFO that nobody writes. The FIFO is
 *  opened at once (without waiting), so a writer's open finds a reader. */
class FifoReader
{
public:
    explicit FifoReader(const QString &path, int seconds = 20)
        : m_fd(::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd >= 0)
            m_thread = std::thread([this, seconds] { run(seconds); });
    }
    ~FifoReader() { finish(); }

    /** Waits for the writer to close (or the time limit); true when it did. */
    bool finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_closedByWriter;
    }
    /** What was read; call after finish(). */
    const QByteArray &bytes() const { return m_bytes; }

private:
    void run(int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        char buffer[65536];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{m_fd, POLLIN, 0};
            // Until a writer has come and gone, a FIFO never reports a hang-up.
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                m_bytes.append(buffer, n);
            } else if (n == 0) {
                m_closedByWriter = true;
                return;
            }
        }
    }

    int m_fd = -1;
    std::thread m_thread;
    QByteArray m_bytes;
    bool m_closedByWriter = false;
};

/** Writes `bytes` into a FIFO on its own thread once a reader opens it,
 *  then closes it. Gives up after the time limit if no reader comes. */
class FifoWriter
{
public:
    FifoWriter(const QString &path, const QByteArray &bytes, int seconds = 20)
    {
        m_thread = std::thread([this, p = native(path), bytes, seconds] { run(p, bytes, seconds); });
    }
    ~FifoWriter() { finish(); }

    /** Waits for the thread; true when every byte was written. */
    bool finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_done;
    }

private:
    void run(const QByteArray &path, const QByteArray &bytes, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int fd = -1;
        // Opening without waiting fails (ENXIO) until a reader has the FIFO open.
        while ((fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            if (errno != ENXIO || std::chrono::steady_clock::now() >= deadline)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::close(fd);
        m_done = done == bytes.size();
    }

    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace specialfiles
