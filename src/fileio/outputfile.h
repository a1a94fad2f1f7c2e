#pragma once

#include "fileio/failure.h"

#include <QString>

#include <functional>
#include <memory>

class QIODevice;
struct stat;

namespace kestrin {

class OutputDevice;

/** The one way the core writes an output file.
 *
 *  What happens depends on what the path names when open() is called:
 *  - nothing, or a regular file: the bytes go to a temporary file in the
 *    same folder, which replaces the target only at a successful commit().
 *    A replaced file keeps its permission bits, and its owner and group
 *    where the process may set them;
 *  - a symbolic link: the chain of links is followed and its last file is
 *    treated as above; the links themselves stay links;
 *  - an existing file that is not a regular file (a character device, a
 *    FIFO, ...): it is opened and written straight through, as a shell
 *    redirect would, and never replaced or removed. Opening a FIFO waits for
 *    a reader, like the shell. Bytes written this way cannot be taken back;
 *  - a folder: open() fails with "Is a directory";
 *  - "-": standard output, written straight through.
 *
 *  device() never buffers: every write reaches the system before it
 *  returns, and its result is checked. The first failed write is kept: every
 *  later write and commit() fail with it, so a caller that streams many
 *  writes cannot miss one. After any failure, after cancel(), and when the
 *  object is destroyed without commit(), a target written through a
 *  temporary file is exactly as it was and no temporary file is left behind.
 *
 *  Every outcome is reported by the return value and, on failure, by
 *  failure(): FailureKind::CannotCreateFile when the target cannot be
 *  opened (or the temporary file beside it created), CannotWriteFile for a
 *  failed write, flush, sync or rename and after cancel(); the path as
 *  given; the system's reason ("No space left on device"). */
class OutputFile
{
public:
    /** How the target is written, decided by open(). */
    enum class Mode {
        Replace,        // through a temporary file renamed over the target at commit()
        Direct,         // straight into an existing file that is not a regular file
        StandardOutput, // "-"
    };

    explicit OutputFile(const QString &path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    /** Opens the target for writing, as described above. */
    [[nodiscard]] bool open();
    /** The device to write into; open for writing after a successful open(). */
    QIODevice &device();
    /** Writes all of `bytes`, or records the failure. */
    [[nodiscard]] bool write(const QByteArray &bytes);
    /** Finishes the file: fails if any earlier write failed; otherwise the
     *  written bytes are synced and, in Replace mode, the temporary file takes
     *  the target's place. Either way the device is closed. */
    [[nodiscard]] bool commit();
    /** Gives up: the temporary file is removed and the target stays as it
     *  was; a later commit() fails (CannotWriteFile, "Operation canceled"). */
    void cancel();

    Mode mode() const { return m_mode; }
    const QString &path() const { return m_path; }
    /** Why the output failed so far (a failed write included); kind None
     *  while nothing did. */
    Failure failure() const;

private:
    bool fail(FailureKind kind, const QString &reason);
    bool openReplacing(const QString &finalPath, const struct stat *existing);
    bool openDirect(const QByteArray &finalPath);
    bool applyOwnerAndMode();

    QString m_path;
    Mode m_mode = Mode::Replace;
    std::unique_ptr<OutputDevice> m_device;
    Failure m_failure;
    bool m_finished = false;         // committed, canceled or failed: the device is closed
    bool m_keepOwnerAndMode = false; // Replace mode over an existing file:
    uint m_owner = 0;                // its owner,
    uint m_group = 0;                // group
    uint m_modeBits = 0;             // and permission bits, given to the new file at commit()
};

/** Opens `path` as an OutputFile, lets `write` fill its device, and commits.
 *  If `write` returns false the output is canceled; the failure is then the
 *  failed write into the device, if there was one, with the system's
 *  reason. Returns the failure, FailureKind::None on success. */
[[nodiscard]] Failure saveFile(const QString &path, const std::function<bool(QIODevice &)> &write);

} // namespace kestrin
