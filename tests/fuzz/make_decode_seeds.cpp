// Writes the frame decoder's fuzz seeds (decodeseeds.h) into the folder
// given, normally tests/fuzz/decode-corpus. Files already there under other
// names are left alone and listed, since a seed nobody makes would go stale.
#include "decodeseeds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s DIR\nwrites the decoder's fuzz seeds into DIR (created if missing)\n",
                     argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    QSet<QString> written;
    for (const kestrinfuzz::DecodeSeed &seed : kestrinfuzz::decodeSeeds()) {
        QFile file(dir.filePath(seed.name));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed.bytes) != seed.bytes.size() || !file.flush()) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(file.fileName()), qPrintable(file.errorString()));
            return 1;
        }
        written.insert(seed.name);
    }
    std::printf("%lld seeds written to %s\n", (long long)written.size(), qPrintable(dir.path()));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        if (!written.contains(name) && !name.endsWith(QLatin1String(".md")))
            std::printf("not made here, left as it is: %s\n", qPrintable(name));
    }
    return 0;
}
