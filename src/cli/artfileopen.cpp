#include "cli/artfileopen.h"

#include <QFile>

#include <cstdio>

namespace kestrin {

bool readArtFile(const QString &path, ArtFile &art, QString &error)
{
    // Unbuffered: a pipe or device is read no further than the reader asks.
    QFile file;
    const bool opened = path == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
        : (file.setFileName(path), file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    if (!opened) {
        error = file.errorString();
        return false;
    }
    return readArt(file, art, error);
}

} // namespace kestrin
