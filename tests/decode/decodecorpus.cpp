// Decodes the whole truncation corpus: every complete file of the corpus,
// every cut of it, RLE streams broken on purpose and headers that claim
// more pixels than their data holds. Run under valgrind by
// the test suite, where any use of uninitialised memory fails the run;
// `-v` prints each outcome.
#include "imagecorpus.h"
#include "decode/imagedecoder.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

quint64 checksum = 0;
int decoded = 0;
int refused = 0;

void decode(const QString &what, const QByteArray &bytes, const QByteArray &hint, bool verbose)
{
    const kestrin::DecodeResult result = kestrin::decodeImageData(bytes, hint);
    if (result.ok()) {
        ++decoded;
        // Every pixel takes part, so valgrind sees any that was never set.
        for (int y = 0; y < result.image.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(result.image.constScanLine(y));
            for (int x = 0; x < result.image.width(); ++x)
                checksum = checksum * 31 + (line[x] == 0x12345678u ? 1 : line[x]);
        }
    } else {
        ++refused;
    }
    if (verbose)
        std::printf("%-28s %s\n", qPrintable(what),
                    result.ok() ? qPrintable(QStringLiteral("ok (") + QString::fromLatin1(result.decoder) + ')')
                                : qPrintable(result.message()));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
    for (const kestrintest::CorpusFile &file : kestrintest::completeFiles()) {
        decode(file.name, file.bytes, file.hint(), verbose);
        for (qsizetype cut : kestrintest::cutPoints(file.bytes.size()))
            decode(file.name + QStringLiteral(" cut at ") + QString::number(cut), file.bytes.left(cut), file.hint(),
                   verbose);
    }
    for (const kestrintest::BrokenFile &file : kestrintest::brokenRleFiles() + kestrintest::overclaimingFiles())
        decode(file.name, file.bytes, file.hint, verbose);
    std::printf("%d decoded, %d refused, checksum %llx\n", decoded, refused, (unsigned long long)checksum);
    return 0;
}
