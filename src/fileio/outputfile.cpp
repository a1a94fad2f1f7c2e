#include "fileio/outputfile.h"
#include "fileio/failure.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {

namespace {

/** The system's text for an errno value ("No space left on device"). */
QString errnoText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

/** The system's text for a failure with `path`; a name too long also says
 *  how long names may be there. */
QString reasonFor(int error, const QByteArray &path)
{
    if (error != ENAMETOOLONG)
        return errnoText(error);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
    const qsizetype length = path.size() - slash - 1;
    if (longest <= 0 || length <= longest)
        return errnoText(error) + QStringLiteral(" (the whole path is %1 bytes long)").arg(path.size());
    return errnoText(error)
        + QStringLiteral(" (the file name is %1 bytes long; this folder takes names of at most %2 bytes)")
              .arg(length)
              .arg(longest);
}

/** Symbolic links followed before giving up with ELOOP, as the kernel does. */
constexpr int kMaxLinks = 40;

/** What a path names once its symbolic links are followed. */
struct Target {
    QByteArray path; // the last name of the chain of links
    bool exists = false;
    struct stat status {
    };             // of `path`, when it exists
    int error = 0; // errno of a failed look-up; a missing last name is no error
};

bool readLink(const QByteArray &path, qint64 sizeHint, QByteArray &target)
{
    QByteArray buffer(qMax<qint64>(sizeHint, 255) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = ::readlink(path.constData(), buffer.data(), size_t(buffer.size()));
        if (length < 0)
            return false;
        if (length < buffer.size()) {
            target = buffer.left(length);
            return true;
        }
        buffer.resize(buffer.size() * 2); // the link changed since lstat and grew
    }
}

Target resolveTarget(const QString &path)
{
    Target target;
    target.path = QFile::encodeName(path);
    for (int links = 0;; ++links) {
        if (::lstat(target.path.constData(), &target.status) != 0) {
            if (errno != ENOENT)
                target.error = errno;
            return target;
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.exists = true;
            return target;
        }
        QByteArray next;
        if (links == kMaxLinks) {
            target.error = ELOOP;
            return target;
        }
        if (!readLink(target.path, target.status.st_size, next)) {
            target.error = errno;
            return target;
        }
        if (!next.startsWith('/')) { // relative to the folder that holds the link
            const qsizetype slash = target.path.lastIndexOf('/');
            next.prepend(slash >= 0 ? target.path.left(slash + 1) : QByteArray());
        }
        target.path = next;
    }
}

/** True when standard output is open for writing. */
bool standardOutputWritable()
{
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

QString standardOutputClosed()
{
    return QStringLiteral("standard output is closed (%1)").arg(errnoText(EBADF));
}

/** Why no file can be made at `path`, as the reason of CannotCreateFile: an
 *  empty name, a NUL byte, or a look-up that failed. Empty when the path
 *  could be followed; `target` is then what it names. */
QString unusablePath(const QString &path, Target &target)
{
    if (path.isEmpty())
        return errnoText(ENOENT);
    if (path.contains(QChar(0)))
        return errnoText(EINVAL);
    target = resolveTarget(path);
    return target.error ? reasonFor(target.error, target.path) : QString();
}

} // namespace

/** The device handed to writers: forwards every write to the file, checks
 *  that each took all of its bytes, and keeps the first failure so that no
 *  later write or commit can pass over it. */
class OutputDevice : public QIODevice
{
public:
    ~OutputDevice() override { release(); }

    void attach(std::unique_ptr<QFileDevice> file, QSaveFile *saveFile)
    {
        m_file = std::move(file);
        m_saveFile = saveFile;
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QFileDevice *file() const { return m_file.get(); }
    QSaveFile *saveFile() const { return m_saveFile; }
    bool failed() const { return m_failed; }
    const QString &reason() const { return m_reason; }

    /** Closes the device; an uncommitted temporary file is removed. */
    void release()
    {
        if (m_saveFile)
            m_saveFile->cancelWriting();
        m_saveFile = nullptr;
        m_file.reset(); // QSaveFile removes its temporary file, QFile closes
        if (isOpen())
            close();
    }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 length) override
    {
        if (m_failed || !m_file)
            return -1;
        // The file is unbuffered, so each call reaches the system. A short
        // count (a disk filling up part way) is no error by itself: the
        // next call for the rest reports the system's reason.
        qint64 done = 0;
        while (done < length) {
            const qint64 n = m_file->write(data + done, length - done);
            if (n <= 0) {
                m_failed = true;
                m_reason = m_file->errorString();
                setErrorString(m_reason);
                return -1;
            }
            done += n;
        }
        return length;
    }

private:
    std::unique_ptr<QFileDevice> m_file;
    QSaveFile *m_saveFile = nullptr; // m_file in Replace mode
    bool m_failed = false;
    QString m_reason;
};

OutputFile::OutputFile(const QString &path, Dash dash)
    : m_path(path),
      m_dash(dash),
      m_device(std::make_unique<OutputDevice>())
{
}

OutputFile::~OutputFile()
{
    forgetOld(); // the device's release() discards an uncommitted file
}

bool OutputFile::writesStandardOutput() const
{
    return m_dash == Dash::StandardOutput && m_path == QLatin1String("-");
}

QIODevice &OutputFile::device()
{
    return *m_device;
}

Failure OutputFile::failure() const
{
    if (m_failure || !m_device->failed())
        return m_failure;
    return Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), m_path, m_device->reason());
}

bool OutputFile::fail(FailureKind kind, const QString &reason)
{
    m_failure = Failure::of(kind, m_path, reason);
    m_device->release();
    m_finished = true;
    return false;
}

bool OutputFile::check()
{
    if (m_device->isOpen() || m_finished)
        return !m_failure;
    if (writesStandardOutput())
        return standardOutputWritable()
            || fail(FailureKind(kestrin::FileFailure::CannotCreateFile), standardOutputClosed());
    Target target;
    if (const QString unusable = unusablePath(m_path, target); !unusable.isEmpty())
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), unusable);
    if (target.exists && S_ISDIR(target.status.st_mode))
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(EISDIR));
    if (target.exists && ::faccessat(AT_FDCWD, target.path.constData(), W_OK, AT_EACCESS) != 0)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(errno));
    if (target.exists && !S_ISREG(target.status.st_mode))
        return true; // written straight through
    // A new or replaced file is made in the target's folder.
    const qsizetype slash = target.path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.path.left(slash);
    struct stat status {
    };
    if (::stat(folder.constData(), &status) != 0)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(errno));
    if (!S_ISDIR(status.st_mode))
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(ENOTDIR));
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(errno));
    return true;
}

bool OutputFile::open()
{
    if (m_device->isOpen() || m_finished)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(EBUSY));
    if (writesStandardOutput()) {
        m_mode = Mode::StandardOutput;
        if (!standardOutputWritable())
            return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), standardOutputClosed());
        std::fflush(stdout); // what was printed before comes first
        auto file = std::make_unique<QFile>();
        if (!file->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
            return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), file->errorString());
        m_device->attach(std::move(file), nullptr);
        return true;
    }
    Target target;
    if (const QString unusable = unusablePath(m_path, target); !unusable.isEmpty())
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), unusable);
    if (!target.exists)
        return openReplacing(QFile::decodeName(target.path), nullptr);
    if (S_ISDIR(target.status.st_mode))
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(EISDIR));
    if (S_ISREG(target.status.st_mode))
        return openReplacing(QFile::decodeName(target.path), &target.status);
    return openDirect(target.path);
}

bool OutputFile::openReplacing(const QString &finalPath, const struct stat *existing)
{
    m_mode = Mode::Replace;
    m_finalPath = QFile::encodeName(finalPath);
    // A file the process may not write is refused, as a redirect would be,
    // although the folder would let a new file take its place.
    if (existing && ::faccessat(AT_FDCWD, QFile::encodeName(finalPath).constData(), W_OK, AT_EACCESS) != 0)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(errno));
    auto file = std::make_unique<QSaveFile>(finalPath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), file->errorString());
    QSaveFile *saveFile = file.get();
    m_device->attach(std::move(file), saveFile);
    m_keepOwnerAndMode = existing != nullptr;
    if (existing) {
        m_owner = existing->st_uid;
        m_group = existing->st_gid;
        m_modeBits = existing->st_mode & 07777;
    }
    return true;
}

bool OutputFile::applyOwnerAndMode()
{
    if (!m_keepOwnerAndMode)
        return true;
    const int fd = m_device->file()->handle();
    // Done last: a write clears the set-user-ID and set-group-ID bits, and so
    // does a change of owner, hence the owner before the mode. Where the owner
    // cannot be given away, the group alone may still be.
    if (::fchown(fd, m_owner, m_group) != 0 && ::fchown(fd, uid_t(-1), m_group) != 0) {
        // The new file keeps the process's owner and group.
    }
    return ::fchmod(fd, m_modeBits) == 0;
}

bool OutputFile::openDirect(const QByteArray &finalPath)
{
    m_mode = Mode::Direct;
    // No O_TRUNC and no O_CREAT: the file exists and is not a regular file.
    int fd;
    do
        fd = ::open(finalPath.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(errno));
    struct stat status {
    };
    if (::fstat(fd, &status) != 0 || S_ISREG(status.st_mode)) {
        const int error = errno;
        ::close(fd);
        // The name now holds a regular file: it gets replaced, not overwritten.
        if (S_ISREG(status.st_mode))
            return openReplacing(QFile::decodeName(finalPath), &status);
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(error));
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), file->errorString());
    }
    m_device->attach(std::move(file), nullptr);
    return true;
}

bool OutputFile::write(const QByteArray &bytes)
{
    return m_device->write(bytes) == bytes.size();
}

bool OutputFile::prepare()
{
    if (m_finished)
        return false; // keeps the failure, or the cancel, that finished it
    if (!m_device->isOpen())
        return fail(FailureKind(kestrin::FileFailure::CannotCreateFile), errnoText(EBADF));
    if (m_device->failed())
        return fail(FailureKind(kestrin::FileFailure::CannotWriteFile), m_device->reason());
    QFileDevice &file = *m_device->file();
    // QSaveFile::commit() on Qt 6.4 flushes its buffer while closing and
    // does not check the result: bytes still buffered (all of a small file)
    // can fail to reach a full disk while the empty temporary file is renamed
    // over the target. The file is unbuffered here, and the flush and the
    // sync are checked before anything is renamed.
    if (!file.flush())
        return fail(FailureKind(kestrin::FileFailure::CannotWriteFile), file.errorString());
    // The owner and mode go with the bytes in one sync (every byte is
    // written by now, so none can clear them again); the sync QSaveFile
    // makes before its rename then finds nothing left to store.
    if (m_device->saveFile() && !applyOwnerAndMode())
        return fail(FailureKind(kestrin::FileFailure::CannotWriteFile), errnoText(errno));
    if (m_mode != Mode::StandardOutput && ::fdatasync(file.handle()) != 0 && errno != EINVAL && errno != EROFS)
        return fail(FailureKind(kestrin::FileFailure::CannotWriteFile),
                    errnoText(errno)); // EINVAL: a FIFO or device cannot sync
    return true;
}

bool OutputFile::commit()
{
    if (!prepare())
        return false;
    QFileDevice &file = *m_device->file();
    if (QSaveFile *saveFile = m_device->saveFile()) {
        if (!saveFile->commit())
            return fail(FailureKind(kestrin::FileFailure::CannotWriteFile), saveFile->errorString());
    } else {
        file.close();
        if (file.error() != QFileDevice::NoError)
            return fail(FailureKind(kestrin::FileFailure::CannotWriteFile), file.errorString());
    }
    m_finished = true;
    m_device->close();
    return true;
}

bool OutputFile::keepOld()
{
    m_restore = Restore::None;
    struct stat status {
    };
    if (::lstat(m_finalPath.constData(), &status) != 0) {
        if (errno == ENOENT)
            m_restore = Restore::RemoveNew;
        return true;
    }
    if (!S_ISREG(status.st_mode))
        return true;
    // A second name for the old file, in its folder so that putting it back
    // is one rename; hidden, and unique to this process and moment.
    const qsizetype slash = m_finalPath.lastIndexOf('/');
    const QByteArray folder = m_finalPath.left(slash + 1);
    const QByteArray name = m_finalPath.mid(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray old = folder + '.' + name.left(200) + ".old-" + QByteArray::number(::getpid()) + '-'
            + QByteArray::number(attempt);
        if (::link(m_finalPath.constData(), old.constData()) == 0) {
            m_oldPath = old;
            m_restore = Restore::OldFile;
            return true;
        }
        if (errno != EEXIST)
            return true; // no hard links here: the commit goes on without a way back
    }
    return true;
}

bool OutputFile::commitKeepingOld()
{
    if (m_mode == Mode::Replace && !m_finished && m_device->isOpen() && !m_device->failed())
        keepOld();
    if (commit())
        return true;
    forgetOld();
    m_restore = Restore::None;
    return false;
}

bool OutputFile::restore()
{
    const Restore restore = m_restore;
    m_restore = Restore::None;
    if (restore == Restore::OldFile) {
        const bool ok = ::rename(m_oldPath.constData(), m_finalPath.constData()) == 0;
        if (!ok)
            (void)::unlink(m_oldPath.constData());
        m_oldPath.clear();
        return ok;
    }
    return restore == Restore::RemoveNew && ::unlink(m_finalPath.constData()) == 0;
}

void OutputFile::forgetOld()
{
    if (!m_oldPath.isEmpty())
        (void)::unlink(m_oldPath.constData());
    m_oldPath.clear();
    if (m_restore == Restore::OldFile)
        m_restore = Restore::None;
}

void OutputFile::cancel()
{
    if (m_finished)
        return;
    if (m_device->failed())
        (void)fail(FailureKind(kestrin::FileFailure::CannotWriteFile), m_device->reason());
    else
        (void)fail(FailureKind(kestrin::FileFailure::CannotWriteFile), errnoText(ECANCELED));
}

Failure saveFile(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    OutputFile file(path);
    if (!file.open())
        return file.failure();
    if (write(file.device()) && file.commit())
        return Failure();
    file.cancel(); // nothing more after a failed commit; discards when the writer gave up
    return file.failure();
}

} // namespace kestrin
