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
 *  and progress on standard error. Every line on standard error starts with
 *  "kestrin-art: ", except indented continuation lines and the progress line. */
class Console
{
public:
    /** Where informational lines go. */
    enum class Notes {
        Stdout, // the usual place
        Stderr, // standard output carries data (a file written to "-", JSON)
        Quiet,  // nowhere, and no progress line either
    };

    explicit Console(Notes notes = Notes::Stdout);
    ~Console();

    /** A line on standard output. Every write is checked: the first that
     *  fails is kept for finish(). */
    void out(const QString &line);
    /** An informational line ("Found ...", "Generation successful!"). */
    void note(const QString &line);
    /** "kestrin-art: <message>" on standard error. */
    void error(const QString &message);
    /** "kestrin-art: <subject>: <message>" on standard error; the subject is
     *  usually a file or folder name, or an option. */
    void error(const QString &subject, const QString &message);

    /** Shows `text` at `percent` (0 to 100) as one line on standard error,
     *  redrawn in place and never wider than the terminal. Only when
     *  standard error is a terminal and the console is not quiet; otherwise
     *  nothing is written. */
    void progress(const QString &text, int percent);
    /** Ends a progress line that is showing, so the next line starts clean
     *  and the finished line stays as the record of its phase. */
    void endProgress();

    /** The exit status of a job that ended with `status`, once standard
     *  output is checked: ExitFailure, with the system's reason on standard
     *  error, when any line written there was lost ("Broken pipe", "No space
     *  left on device"). */
    [[nodiscard]] int finish(int status);

private:
    int m_outError = 0; // errno of the first failed write to standard output
    Notes m_notes = Notes::Stdout;
    bool m_barEnabled = false;
    bool m_barShowing = false;
    bool m_dumb = false;   // the terminal knows no escape sequences
    int m_shownLength = 0; // characters of the line now shown
    QString m_shownLine;   // the line now shown, not drawn again unchanged
};

/** `text` with every control character (C0, DEL and C1) written as an
 *  escape ("\n", "\t", "\x1b"), so that a name cannot start a line of its
 *  own or move the cursor. */
[[nodiscard]] QString printable(const QString &text);

/** Bytes meant as UTF-8 made printable: valid sequences as they are, every
 *  other byte as "\xHH", control characters escaped as by printable(). */
[[nodiscard]] QString printableBytes(const QByteArray &bytes);

/** Writes `bytes` to standard output and flushes them: 0, or the errno of
 *  the failure. */
[[nodiscard]] int writeStandardOutput(const QByteArray &bytes);

/** The width of the terminal on standard error, in columns; 80 when it
 *  cannot be asked. */
[[nodiscard]] int terminalColumns();

/** The progress line for `text` at `percent`, at most `columns` - 1
 *  characters so that it never wraps: a bar that shrinks with the width,
 *  the percentage, then as much of the text as fits. */
[[nodiscard]] QString progressLine(const QString &text, int percent, int columns);

} // namespace kestrin::cli
