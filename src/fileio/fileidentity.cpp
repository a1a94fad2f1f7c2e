#include "fileio/fileidentity.h"

#include <QFile>

#include <sys/stat.h>

namespace kestrin {

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat status {
    };
    if (path.isEmpty() || path.contains(QChar(0)) || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

} // namespace kestrin
