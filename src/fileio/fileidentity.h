#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace kestrin {

/** What makes a file the same file under any of its names: the device that
 *  holds it and its inode there. */
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

/** The identity of the file `path` names, symbolic links followed, so that
 *  a link and a hard link give the identity of the file they share. Empty
 *  when the path names nothing (or cannot be looked at). */
[[nodiscard]] std::optional<FileIdentity> fileIdentity(const QString &path);

/** A file a job reads or writes, and what it is to the job, for messages
 *  ("the frame file", "--depfile"). */
struct JobFile {
    QString path;
    QString role;
};

/** Where an output of a job would land on a file of the same job: an
 *  output that is the same file as an input or as an earlier output (the
 *  same device and inode, links followed, hard links included; for a name
 *  that does not exist yet, the same place once its links are followed).
 *  Returns the first such pair as (output, other), or nothing. Writing
 *  either would destroy the other, so the job must be refused before
 *  anything is written. */
[[nodiscard]] std::optional<std::pair<JobFile, JobFile>> firstCollision(const QList<JobFile> &outputs,
                                                                        const QList<JobFile> &inputs);

} // namespace kestrin
