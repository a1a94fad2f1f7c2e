#pragma once

#include "fileio/failure.h"
#include "fileio/outputfile.h"
#include "generate/generationsettings.h"
#include "project/folderloader.h"
#include "project/framelist.h"
#include "project/project.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace kestrin {

/** The steps of a generation, in the order a successful one passes them. */
enum class GenerationStep {
    NoStages,      // the project has no stage; nothing else follows
    Preparing,     // the target was looked at; frame counts and sizes are checked next
    Reducing,      // colour reduction
    FixingIndices, // index 0 gets the first pixel's colour
    Writing,       // header, palettes, frame headers and index bytes
    CleaningUp,    // the file is complete and in place
    Completed,
};

/** Where a step puts a progress bar (0..100); -1 for NoStages, which leaves
 *  a bar as it is. */
[[nodiscard]] int stepPercent(GenerationStep step);

/** Called as each step begins. */
using GenerationProgress = std::function<void(GenerationStep step)>;

/** Something a successful generation did that its user should hear about. */
struct GenerationWarning {
    enum class Kind {
        MadeOpaque,     // content pixels whose alpha was below 255 were written as opaque
        HitFrameBeyond, // the hit frame is at or beyond the frames per stage; written as given
    };
    Kind kind = Kind::MadeOpaque;
    quint64 pixels = 0;  // MadeOpaque: how many pixels
    quint64 frames = 0;  // MadeOpaque: in how many frames; HitFrameBeyond: the frames per stage
    qint32 hitFrame = 0; // HitFrameBeyond: the hit frame asked for
};

/** One frame as it went into the file. */
struct FrameReport {
    quint32 stage = 0; // index of its stage in the project, from 0
    quint32 frame = 0; // index within its stage, from 0
    QString file;      // the file it was loaded from; empty for a frame never loaded
    qint32 width = 0;  // the frame header's fields
    qint32 height = 0;
    qint32 centerX = 0;
    qint32 centerY = 0;
    QSize source; // the image as loaded
    QRect trim;   // where the written pixels lie in the source image (the whole
                  // source when untrimmed; empty for a frame with no pixels)
};

/** Wall-clock time spent in each part of a job, in nanoseconds. */
struct GenerationTimings {
    qint64 load = 0;   // finding, decoding and trimming the frames (buildSprite only)
    qint64 reduce = 0; // building the palette and placing index 0
    qint64 map = 0;    // finding every pixel's palette index
    qint64 write = 0;  // writing the bytes and putting the file in place
};

/** What a generation did. The fields that describe the sprite are filled as
 *  far as the job got: a job that fails still says what it was asked to
 *  make and which files it read. */
struct GenerationOutcome {
    Failure failure;        // FailureKind() when the file was written
    quint64 bytes = 0;      // size of the file written
    quint32 colorCount = 0; // palette entries the colour reduction produced (entry 0 of a background included)

    bool rotatable = false;                  // the sprite type asked for
    quint32 stageCount = 0;                  // stages in the project
    quint32 framesPerStage = 0;              // frames of stage 0, which every stage must match
    quint32 paletteCount = 0;                // palette copies asked for
    std::vector<FrameReport> frames;         // in file order, once the file has been planned
    QStringList inputFiles;                  // every file the job read, each once, in the order read:
                                             // the frame files, then any other input of the settings
    std::vector<GenerationWarning> warnings; // at most one of each kind
    GenerationTimings timings;

    bool ok() const { return !failure; }
};

class ColorFeed;

/** Where a generation puts the bytes of its file. */
class GenerationSink
{
public:
    virtual ~GenerationSink() = default;
    /** Asked once the settings are checked and before any work on the
     *  frames: a sink that surely cannot take the file says so here
     *  (CannotCreateFile with the system's reason). Nothing is created. */
    [[nodiscard]] virtual Failure check() { return Failure(); }
    /** Called once colour reduction is done, immediately before the first
     *  byte: the open device to write into, or nullptr with failure() set. */
    virtual QIODevice *open() = 0;
    /** Called after the last byte was written without a failure: puts the
     *  file in place (or leaves that to the caller, who then commits). */
    [[nodiscard]] virtual bool finish() { return true; }
    /** Why open(), a write into the device or finish() failed; kind None
     *  while nothing did. */
    [[nodiscard]] virtual Failure failure() const = 0;
};

/** A sink over a device the caller opened, such as a QBuffer that receives
 *  exactly the bytes a file target would hold. */
class DeviceSink : public GenerationSink
{
public:
    explicit DeviceSink(QIODevice &device) : m_device(device) {}
    QIODevice *open() override { return &m_device; }
    Failure failure() const override;

private:
    QIODevice &m_device;
};

/** A sink over a file written through OutputFile: looked at by check(),
 *  opened by open() only once colour reduction is done (a job killed
 *  before that leaves nothing behind), and, unless made with
 *  `commitByCaller`, committed by finish(). A caller that commits itself
 *  uses file() once the generation succeeded, and cancels or lets the sink
 *  go otherwise. */
class FileSink : public GenerationSink
{
public:
    explicit FileSink(const QString &path, OutputFile::Dash dash = OutputFile::Dash::StandardOutput,
                      bool commitByCaller = false)
        : m_file(path, dash),
          m_commitByCaller(commitByCaller)
    {
    }
    Failure check() override;
    QIODevice *open() override;
    bool finish() override;
    Failure failure() const override { return m_file.failure(); }
    OutputFile &file() { return m_file; }

private:
    OutputFile m_file;
    bool m_commitByCaller = false;
};

/** Turns `project` into the bytes of an ".art" file written into `sink`.
 *  Checks, in this order, each ending the job with its failure: no stages
 *  (NoStages, reported as GenerationStep::NoStages), a rotatable sprite
 *  without 8 stages, a palette count outside 1..4, the colour settings and
 *  the palette file they name (see prepareColorOptions), the sink's check()
 *  (a target that cannot be created: CannotCreateFile with the system's
 *  reason); then GenerationStep::Preparing and stages whose frame count
 *  differs from stage 0's, and frames or a file beyond the format's 32-bit
 *  fields. Then Reducing and FixingIndices; the sink is opened only then
 *  (its failure ends the job), Writing (a failed write ends with the
 *  sink's failure, CannotWriteFile and the system's reason for a file),
 *  the sink's finish(), CleaningUp and Completed.
 *
 *  The project is only read. `fed`, when given, is the first stage of the
 *  colour reduction, finished after it saw every frame of the project in
 *  order (see ColorFeed); the reduction takes it as given. */
[[nodiscard]] GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings,
                                              GenerationSink &sink, const GenerationProgress &progress,
                                              ColorFeed *fed = nullptr);

/** runGeneration into the file `targetPath` (any Unicode, used as given;
 *  "-" is standard output), through a FileSink that commits. Whatever
 *  fails, an existing target is left byte for byte as it was. */
[[nodiscard]] GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings,
                                              const QString &targetPath, const GenerationProgress &progress,
                                              ColorFeed *fed = nullptr);

/** The file Start would make of `project`, written into `device` (open for
 *  writing) by runGeneration without progress reports: the one assembly, for
 *  memory, tests and the benchmark. The failure is the run's. */
[[nodiscard]] Failure writeArt(QIODevice &device, const Project &project, const GenerationSettings &settings);

/** A whole job from a folder of frames to a file, as the command line runs it. */
struct BuildRequest {
    FolderPattern source;            // where the frames are
    std::optional<FrameList> frames; // the frames named one by one instead (source is then unused)
    bool trim = false;               // trim every frame to its content (and make every pixel opaque); with a
                                     // background, to its non-background pixels, keeping alpha
    GenerationSettings settings;     // its `threads` also decode the frames
    QString target;                  // the file to write
    GenerationSink *sink = nullptr;  // where the bytes go; when null, a FileSink that commits `target`
};

/** What a job reports while it runs; every member may be empty. */
struct BuildCallbacks {
    LoadProgress loading;                        // frames decoded so far
    std::function<void(const Project &)> loaded; // the project as it will be written
    /** Once the frames loaded, before the generation: every file the job
     *  reads (frames, then the palette file); a failure it returns ends the
     *  job before anything is written. */
    std::function<Failure(const QStringList &inputs)> check;
    GenerationProgress generation;
};

/** Loads the frames (any frame that does not load ends the job), trims them
 *  when asked, asks callbacks.check, and runs the generation into
 *  request.sink or request.target. Each frame is
 *  trimmed and fed to the colour reduction as soon as it has loaded, while
 *  later files are still decoding; the file is the same as loading, trimming
 *  and then generating. */
[[nodiscard]] GenerationOutcome buildSprite(const BuildRequest &request, const BuildCallbacks &callbacks = {});

} // namespace kestrin
