#pragma once

#include <QString>

#include <optional>

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

} // namespace kestrin
