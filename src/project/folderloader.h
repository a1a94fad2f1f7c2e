#pragma once

#include "fileio/failure.h"
#include "project/project.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace kestrin {

/** What a name the search tries is. */
struct NameStatus {
    enum State {
        Missing,    // nothing has this name (or a folder on its way is no folder)
        Present,    // a file an open for reading would accept, or anything else that
                    // exists (a folder, a FIFO, a device), which then fails to load
        Unreadable, // something is there that cannot be read: a file the process may
                    // not read, a link to nothing, a loop of links, a folder on the
                    // way that may not be searched, an I/O error
    };
    State state = Missing;
    QString reason; // Unreadable: the system's reason
};

/** Looks at `path` without opening it, so a FIFO cannot block the search.
 *  The path is used as typed, so names outside Latin-1 are found. An empty
 *  path, or one holding a NUL character, is Missing. */
[[nodiscard]] NameStatus lookAtName(const QString &path);

/** True when lookAtName() finds `path` Present. */
[[nodiscard]] inline bool fileExists(const QString &path)
{
    return lookAtName(path).state == NameStatus::Present;
}

/** A numbered set of frames in a folder. The path of a frame is `folder`
 *  immediately followed by frameFileName(pattern, stage, stageWidth, frame,
 *  frameWidth); no separator is added. Upper bounds are exclusive. */
struct FolderPattern {
    QString folder;
    QString pattern = QStringLiteral("camera%1_%2.bmp");
    quint32 stageMin = 1;
    quint32 stageMax = 99;
    int stageWidth = 2;
    quint32 frameMin = 0;
    quint32 frameMax = 9999;
    int frameWidth = 4;
};

/** One stage number whose file for frame number frameMin exists, with the
 *  paths of its existing frames in increasing frame number. */
struct FoundStage {
    quint32 number = 0;
    QStringList framePaths;
};

/** What a folder pattern finds on disk, or why the search was refused. */
struct FolderScan {
    QList<FoundStage> stages; // increasing stage number
    Failure failure;          // why the search was refused; then `stages` is empty
};

/** How scanFolder decides which numbers exist. */
enum class ScanMethod {
    Auto,      // list a folder once where that gives the same answer, else probe
    ProbeEach, // open the file of every number in the range, without limits
};

/** More stages plus frames than this are refused instead of exhausting memory
 *  (a name that does not change with its number repeats one file). */
constexpr quint64 kMaxFramesPerLoad = quint64(1) << 20;
/** Ranges longer than this that cannot be narrowed by listing the folder are
 *  refused instead of probed one by one. */
constexpr quint64 kMaxProbesPerRange = 1000000;

/** Finds the stages and frames that `pattern` yields, without decoding any
 *  image. A stage number counts when its file for frame number frameMin
 *  exists; each of its frame numbers counts when its file exists.
 *
 *  The pattern's shape (patternShape) decides first: one without %2 is
 *  refused with NoFrameNumber before anything on disk is looked at; one
 *  whose only number is %2 yields a single stage (numbered stageMin, the
 *  stage range unused) holding every frame number whose file exists, and no
 *  stage when none does. When two frames would be the same file (numbers
 *  that run together without fixed widths), the scan is refused with
 *  NameRepeats naming that file.
 *
 *  With ScanMethod::Auto a long range is narrowed by listing the folder that
 *  holds the varying part of the name: a number whose name matches no entry
 *  there cannot exist. The answer is exactly the one that opening the file of
 *  every number would give. Where that narrowing does not apply and the range
 *  is longer than kMaxProbesPerRange (RangeTooLarge), or when the result
 *  would exceed kMaxFramesPerLoad (NameNeverChanges when one name stands for
 *  every number, else TooManyFrames), the scan is refused with `failure`. */
[[nodiscard]] FolderScan scanFolder(const FolderPattern &pattern, ScanMethod method = ScanMethod::Auto);

/** Called after each frame is decoded: `done` frames of `total`. */
using LoadProgress = std::function<void(quint64 done, quint64 total)>;

/** How loadFolder decodes, and what it reports while it runs. */
struct LoadOptions {
    /** Threads that decode frame files at once; 0 or less means one per
     *  processor core. With 1, each file is decoded on the calling thread
     *  just before its frame joins the project. */
    int threads = 0;
    /** After each frame joins the project (and frameLoaded has run). */
    LoadProgress progress;
    /** Each frame that loaded, right after it joined the project, in load
     *  order and on the calling thread, while later files may still be
     *  decoding. It may change the frame: the project keeps what it made. */
    std::function<void(Frame &frame)> frameLoaded;
    /** Full-size 32-bit copies of each frame held at the load's peak, for
     *  the memory check: 2 when frameLoaded makes a new image of every frame
     *  (trimming) while its source is still held. */
    int copiesPerFrame = 1;
    /** When set, read after each frame joins the project (and progress has
     *  run); once true, loading stops with FailureKind(kestrin::FileFailure::Cancelled). May be
     *  set from any thread. */
    const std::atomic_bool *cancel = nullptr;
};

/** Appends to `project` the stages and frames that `pattern` finds, in
 *  increasing stage and frame number.
 *
 *  Files are decoded on options.threads threads, ahead of the frames that
 *  wait for them; the frames join the project in order on the calling
 *  thread, and the outcome (project, failure, calls of the callbacks) is
 *  exactly that of decoding one file after the other. Files after a failed
 *  one may have been read, but nothing of them reaches the project.
 *
 *  Failures, in the order they can happen:
 *  - the scan's refusal (see scanFolder), with nothing appended;
 *  - NotEnoughMemory, before anything is decoded and with nothing appended,
 *    when the load's peak would not fit in what the process can still hold
 *    (the least of MemAvailable, the control group's limit and the
 *    address-space limit): the decoded images (sizes read from the files'
 *    headers) times options.copiesPerFrame, plus the largest files that
 *    the decoding threads read whole at once;
 *  - CannotLoadFrame (path and reason) when a file exists but does not load;
 *    loading stops there and what was built stays in the project, including
 *    the failed frame, empty, as the last frame of the last stage, its
 *    failedFile and failedReason saying what did not load and why;
 *  - Cancelled when options.cancel became true, with what was built so far
 *    in the project;
 *  - NoStagesFound when the project has no stage at the end (the reason says
 *    which numbers and which first name were tried).
 *  Nothing is logged: the caller decides how to show the outcome. */
[[nodiscard]] Failure loadFolder(Project &project, const FolderPattern &pattern, const LoadOptions &options);

/** loadFolder with the default options (every core) and `progress`. */
[[nodiscard]] Failure loadFolder(Project &project, const FolderPattern &pattern, const LoadProgress &progress = {});

/** The number of decoding threads that `requested` (LoadOptions::threads) stands for. */
[[nodiscard]] int decodingThreads(int requested);

} // namespace kestrin
