#pragma once

// The project file (.kestrin): one JSON object that names the frames, the
// target and every setting of a build, shared by the window and kestrin-art.

#include "fileio/failure.h"
#include "generate/generation.h"
#include "generate/generationsettings.h"
#include "project/folderloader.h"
#include "project/framelist.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrin {

/** The file's format version; a file of another version is refused. */
constexpr int kProjectVersion = 1;

/** A build as a project file describes it. Paths are resolved against the
 *  project file's folder when read, and written relative to it. */
struct BuildProject {
    FolderPattern source;            // its folder always ends in '/'; unused when `frames` is set
    std::optional<FrameList> frames; // the frames named one by one (`stages`), instead of folder and pattern
    QString target;                  // the .art file; empty when the project names none
    bool trim = false;               // trim every frame to its content
    GenerationSettings settings;     // type, rate, hit frame, palettes and the colour options; threads unused
    QStringList keys;                // the keys the file gave, as written
};

/** Reads the project in `bytes`, whose file is `projectPath` (for resolving
 *  paths). Keys are the command line's long options in camelCase, plus
 *  "version", "folder", "target" and "stages"; a key that is missing keeps
 *  the command line's default, and a missing folder is the project file's
 *  own folder. Every rule of the command line applies: a pattern without %2,
 *  a number outside its option's range, a choice that is not one of its
 *  words, key-tolerance without key, palette with colors or quantizer.
 *
 *  Failures: BadProjectFile, its path projectPath and its reason starting
 *  with the key at fault ("stageMin: ..."), for text that is no JSON object,
 *  an unknown key, a value of the wrong type, a value out of range, another
 *  version, or `stages` together with folder, pattern or their ranges. */
[[nodiscard]] Failure parseProject(const QByteArray &bytes, const QString &projectPath, BuildProject *project);

/** The request that builds `project` into its target (written through a
 *  FileSink unless the caller gives the request a sink). */
[[nodiscard]] BuildRequest requestFor(const BuildProject &project);

/** parseProject of the file at `path`; CannotReadFile with the system's
 *  reason when it cannot be read. */
[[nodiscard]] Failure readProjectFile(const QString &path, BuildProject *project);

/** The project as the JSON text of a file at `projectPath`: every setting
 *  written out, paths relative to that file's folder. Settings that have no
 *  key of their own when off (no key colour, no alpha threshold) and those
 *  that a palette file excludes are left out, so parseProject reads back
 *  the same project. */
[[nodiscard]] QByteArray projectJson(const BuildProject &project, const QString &projectPath);

/** Every option of `project` as a build uses it, for reports: the project
 *  file's keys with every one present (key and palette null when unused,
 *  alphaThreshold 0 when off), paths as they are used, and `threads` as
 *  the job resolved it. */
[[nodiscard]] QJsonObject settingsJson(const BuildProject &project, int threads);

/** Writes projectJson through saveFile: checked to the end, and in place
 *  only when complete. */
[[nodiscard]] Failure writeProjectFile(const QString &path, const BuildProject &project);

} // namespace kestrin
