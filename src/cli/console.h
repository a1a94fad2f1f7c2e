#pragma once

#include <QString>

namespace kestrin::cli {

/** Exit statuses of kestrin-art. */
enum ExitStatus : int {
    ExitSuccess = 0, // the job was done
    ExitFailure = 1, // the job failed: bad input file, failed generation, write error
    ExitUsage = 2,   // the command line itself is wrong
};

/** Where kestrin-art talks to the user: results on standard output, problems
 *  and progress on standard error. */
class Console
{
public:
    /** `quiet` silences the progress bar and the informational lines on
     *  standard output; results that are the job's own output (info) and
     *  errors are never silenced. */
    explicit Console(bool quiet = false);
    ~Console();

    /** A line on standard output. */
    void out(const QString &line);
    /** An informational line on standard output, unless quiet. */
    void note(const QString &line);
    /** "kestrin-art: <message>" on standard error. */
    void error(const QString &message);
    /** "kestrin-art: <subject>: <message>" on standard error; the subject is
     *  usually a file or folder name, or an option. */
    void error(const QString &subject, const QString &message);

    /** Shows `text` at `percent` (0 to 100) as a bar on standard error,
     *  redrawn in place. Only when standard error is a terminal and the
     *  console is not quiet; otherwise nothing is written. */
    void progress(const QString &text, int percent);
    /** Ends a progress bar that is showing, so the next line starts clean. */
    void endProgress();

private:
    bool m_quiet = false;
    bool m_barEnabled = false;
    bool m_barShowing = false;
};

} // namespace kestrin::cli
