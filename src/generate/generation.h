#pragma once

#include "fileio/failure.h"
#include "generate/generationsettings.h"
#include "project/folderloader.h"
#include "project/project.h"

#include <QString>

#include <functional>

namespace kestrin {

/** The steps of a generation, in the order a successful one passes them. */
enum class GenerationStep {
    NoStages,      // the project has no stage; nothing else follows
    Preparing,     // the target is open; frame counts and sizes are checked next
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

/** What a generation did. */
struct GenerationOutcome {
    Failure failure;        // FailureKind::None when the file was written
    quint64 bytes = 0;      // size of the file written
    quint32 colorCount = 0; // palette entries the colour reduction produced

    bool ok() const { return !failure; }
};

class ColorFeed;

/** Turns `project` into the ".art" file at `targetPath` (any Unicode, used as
 *  given). Checks, in this order, each ending the job with its failure:
 *  no stages (NoStages, reported as GenerationStep::NoStages, the target not
 *  touched), a rotatable sprite without 8 stages, a palette count outside
 *  1..4, a target that cannot be created (CannotCreateFile with the system's
 *  reason); then GenerationStep::Preparing and stages whose frame count
 *  differs from stage 0's, and frames or a file beyond the format's 32-bit
 *  fields. Then Reducing, FixingIndices, Writing (a failed write ends with
 *  CannotWriteFile and the system's reason), CleaningUp and Completed.
 *
 *  Whatever fails, an existing target is left byte for byte as it was. The
 *  project is only read. `fed`, when given, may hold the colour reduction's
 *  octree already fed with the project's frames (see ColorFeed). */
[[nodiscard]] GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings,
                                              const QString &targetPath, const GenerationProgress &progress,
                                              ColorFeed *fed = nullptr);

/** A whole job from a folder of frames to a file, as the command line runs it. */
struct BuildRequest {
    FolderPattern source;        // where the frames are
    bool trim = false;           // trim every frame to its content (and make every pixel opaque)
    GenerationSettings settings;
    QString target;              // the file to write
    int threads = 0;             // threads decoding the frames; 0: one per core
};

/** What a job reports while it runs; every member may be empty. */
struct BuildCallbacks {
    LoadProgress loading;                          // frames decoded so far
    std::function<void(const Project &)> loaded;   // the project as it will be written
    GenerationProgress generation;
};

/** Loads the frames (any frame that does not load ends the job), trims them
 *  when asked, and runs the generation into request.target. Each frame is
 *  trimmed and fed to the colour reduction as soon as it has loaded, while
 *  later files are still decoding; the file is the same as loading, trimming
 *  and then generating. */
[[nodiscard]] GenerationOutcome buildSprite(const BuildRequest &request, const BuildCallbacks &callbacks = {});

} // namespace kestrin
