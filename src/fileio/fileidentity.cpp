#include "fileio/fileidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat status {
    };
    if (path.isEmpty() || path.contains(QChar(0)) || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

namespace {

/** Where a name that does not exist would be made: its chain of symbolic
 *  links followed (as an output file follows it), as a clean absolute path. */
QString placeOf(const QString &path)
{
    QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    for (int links = 0; links < 40; ++links) {
        struct stat status {
        };
        if (::lstat(name.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            break;
        QByteArray target(qMax<qint64>(status.st_size, 255) + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(name.constData(), target.data(), size_t(target.size()));
        if (length < 0 || length >= target.size())
            break;
        target.truncate(length);
        if (!target.startsWith('/'))
            target.prepend(name.left(name.lastIndexOf('/') + 1));
        name = target;
    }
    return QDir::cleanPath(QFile::decodeName(name));
}

/** What two names are compared by: the identity of an existing file, else
 *  the place a new one would take. */
struct Key {
    std::optional<FileIdentity> identity;
    QString place;

    explicit Key(const QString &path) : identity(fileIdentity(path))
    {
        if (!identity)
            place = placeOf(path);
    }
    bool operator==(const Key &other) const
    {
        return identity ? identity == other.identity : !other.identity && place == other.place;
    }
};

} // namespace

std::optional<std::pair<JobFile, JobFile>> firstCollision(const QList<JobFile> &outputs, const QList<JobFile> &inputs)
{
    QList<Key> keys;
    for (const JobFile &output : outputs) {
        const Key key(output.path);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            if (keys[i] == key)
                return std::make_pair(output, outputs[i]);
        }
        keys.append(key);
    }
    for (const JobFile &input : inputs) {
        const std::optional<FileIdentity> identity = fileIdentity(input.path);
        if (!identity)
            continue; // an input that is not there is no file an output could destroy
        for (qsizetype i = 0; i < keys.size(); ++i) {
            if (keys[i].identity == identity)
                return std::make_pair(outputs[i], input);
        }
    }
    return std::nullopt;
}

} // namespace kestrin
