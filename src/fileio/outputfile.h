#pragma once

#include <QString>

#include <functional>
#include <memory>

class QIODevice;
struct stat;

namespace kestrin {

/** Why writing an output file failed. A default-constructed value (kind
 *  None) means that nothing failed. */
struct OutputFailure {
    enum class Kind {
        None,         // nothing failed
        CannotCreate, // the target (or the temporary file beside it) could not be opened
        CannotWrite,  // a write did not take every byte, or the written bytes could not be synced
        CannotCommit, // everything was written, but the new file could not take the target's place
        Canceled,     // the writer gave up; the target is untouched
    };
    Kind kind = Kind::None;
    QString path;   // the path as it was given
    QString reason; // the system's own text, e.g. "No space left on device"

    bool failed() const { return kind != Kind::None; }
    explicit operator bool() const { return failed(); }
};

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
 *  object is destroyed without commit(), an existing target is exactly as it
 *  was and no temporary file is left behind.
 *
 *  Every outcome is reported by the return value and, on failure, by
 *  failure(): the kind, the path as given and the system's reason. */
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
     *  was; a later commit() fails with Kind::Canceled. */
    void cancel();

    Mode mode() const { return m_mode; }
    const QString &path() const { return m_path; }
    /** Why the output failed so far (a failed write included); kind None
     *  while nothing did. */
    OutputFailure failure() const;

private:
    bool fail(OutputFailure::Kind kind, const QString &reason);
    bool openReplacing(const QString &finalPath, const struct stat *existing);
    bool openDirect(const QByteArray &finalPath);
    bool applyOwnerAndMode();

    QString m_path;
    Mode m_mode = Mode::Replace;
    std::unique_ptr<OutputDevice> m_device;
    OutputFailure m_failure;
    bool m_finished = false; // committed, canceled or failed: the device is closed
    bool m_keepOwnerAndMode = false; // Replace mode over an existing file:
    uint m_owner = 0;                // its owner,
    uint m_group = 0;                // group
    uint m_modeBits = 0;             // and permission bits, given to the new file at commit()
};

/** Opens `path` as an OutputFile, lets `write` fill its device, and commits.
 *  If `write` returns false the output is canceled (Kind::Canceled) unless a
 *  write into the device had failed first (Kind::CannotWrite with the
 *  system's reason). Returns the failure, kind None on success. */
[[nodiscard]] OutputFailure saveFile(const QString &path, const std::function<bool(QIODevice &)> &write);

} // namespace kestrin
