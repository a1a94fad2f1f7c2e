#pragma once

#include "project/project.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kestrin {

/** True when `path` names a regular file that an open for reading would
 *  accept, or anything else that exists (a folder, a FIFO, a device), which
 *  then fails to load as a frame. The file is never opened, so a FIFO
 *  cannot block the search. The path is used as typed, so names outside
 *  Latin-1 are found. An empty path, or one holding a NUL character, gives
 *  false. */
[[nodiscard]] bool fileExists(const QString &path);

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
    QByteArray error;         // log message when refused; then `stages` is empty
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
 *  With ScanMethod::Auto a long range is narrowed by listing the folder that
 *  holds the varying part of the name: a number whose name matches no entry
 *  there cannot exist. The answer is exactly the one that opening the file of
 *  every number would give. Where that narrowing does not apply and the range
 *  is longer than kMaxProbesPerRange, or when the result would exceed
 *  kMaxFramesPerLoad, the scan is refused with a message in `error`. */
[[nodiscard]] FolderScan scanFolder(const FolderPattern &pattern, ScanMethod method = ScanMethod::Auto);

/** Appends to `project` the stages and frames that `pattern` finds, loading
 *  every frame with loadFrame, in increasing stage and frame number.
 *
 *  Failures are logged with Error (no box) and returned as false:
 *  - "GenFile: Cannot load frame: <path>" when a file exists but does not
 *    load; loading stops there and what was built stays in the project,
 *    including the failed frame, empty, as the last frame of the last stage;
 *  - "GenFile: No stages found!" when the project has no stage at the end;
 *  - the scan's refusal message, with nothing appended. */
[[nodiscard]] bool loadFolder(Project &project, const FolderPattern &pattern);

} // namespace kestrin
