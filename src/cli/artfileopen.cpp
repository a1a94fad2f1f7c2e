#include "cli/artfileopen.h"
#include "fileio/failure.h"

#include <QFile>

#include <cstdio>

namespace kestrin {

Failure readArtFile(const QString &path, ArtFile &art)
{
    // Unbuffered: a pipe or device is read no further than the reader asks.
    QFile file;
    const bool opened = path == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
        : (file.setFileName(path), file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    if (!opened)
        return Failure::of(FailureKind(kestrin::FileFailure::CannotReadFile), path, file.errorString());
    Failure failure = readArt(file, art);
    failure.path = failure ? path : QString();
    return failure;
}

} // namespace kestrin
