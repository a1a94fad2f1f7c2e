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
 *  - "-": standard output, written straight through, unless the object was
 *    made with Dash::FileName: then "-" is the file of that name in the
 *    current folder, like any other name.
 *
 *  device() never buffers: every write reaches the system before it
 *  returns, and its result is checked. The first failed write is kept: every
 *  later write and commit() fail with it, so a caller that streams many
 *  writes cannot miss one. After any failure, after cancel(), and when the
 *  object is destroyed without commit(), a target written through a
 *  temporary file is exactly as it was and no temporary file is left behind.
 *
 *  Every outcome is reported by the return value and, on failure, by
 *  failure(): FailureKind(kestrin::FileFailure::CannotCreateFile) when the target cannot be
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

    /** What the name "-" stands for. */
    enum class Dash {
        StandardOutput, // the process's standard output
        FileName,       // a file named "-" in the current folder
    };

    explicit OutputFile(const QString &path, Dash dash = Dash::StandardOutput);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    /** Looks, without creating or changing anything, whether open() would
     *  find a place to write: the chain of links resolves, the target is no
     *  folder, an existing file is writable and the folder of a replaced
     *  target lets a new file be made. Fails (CannotCreateFile with the
     *  system's reason) where open() surely would; open() may still fail
     *  later for what a look cannot tell (a full disk, a race). */
    [[nodiscard]] bool check();
    /** Opens the target for writing, as described above. */
    [[nodiscard]] bool open();
    /** The device to write into; open for writing after a successful open(). */
    QIODevice &device();
    /** Writes all of `bytes`, or records the failure. */
    [[nodiscard]] bool write(const QByteArray &bytes);
    /** Makes sure every byte written so far is stored: fails if any write
     *  failed, else flushes and syncs. After it, commit() only has to put
     *  the file in place. */
    [[nodiscard]] bool prepare();
    /** Finishes the file: fails if any earlier write failed; otherwise the
     *  written bytes are synced and, in Replace mode, the temporary file takes
     *  the target's place. Either way the device is closed. */
    [[nodiscard]] bool commit();
    /** As commit(), but in Replace mode the file the target replaced is kept
     *  (as a hard link beside it) until restore() or forgetOld(), so that a
     *  job whose later output fails can take this one back. Where the file
     *  system cannot link, the commit still happens and canRestore() says
     *  false. */
    [[nodiscard]] bool commitKeepingOld();
    /** True after commitKeepingOld() when restore() can put the old state
     *  back: the old file is kept, or there was none. */
    bool canRestore() const { return m_restore != Restore::None; }
    /** Puts back what the target held before commitKeepingOld(): the old
     *  file, or no file when there was none. False where that is impossible
     *  (nothing kept, a special file, standard output) or fails. */
    [[nodiscard]] bool restore();
    /** Drops the old file kept by commitKeepingOld(); also done on destruction. */
    void forgetOld();
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
    bool keepOld();
    bool writesStandardOutput() const;

    enum class Restore {
        None,      // nothing to put back
        OldFile,   // m_oldPath holds the replaced file
        RemoveNew, // there was no file: restoring removes the new one
    };

    QString m_path;
    Dash m_dash = Dash::StandardOutput;
    Mode m_mode = Mode::Replace;
    QByteArray m_finalPath; // Replace mode: the file the temporary file becomes
    QByteArray m_oldPath;   // the kept old file, beside m_finalPath
    Restore m_restore = Restore::None;
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
 *  reason. Returns the failure, FailureKind() on success. */
[[nodiscard]] Failure saveFile(const QString &path, const std::function<bool(QIODevice &)> &write);

} // namespace kestrin
