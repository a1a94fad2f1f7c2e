// Decoding frame files: what the checked decoder (format check, cleared
// pixel buffer, captured messages, the bytes read once and handed to Qt's
// reader) costs over plain QImage::load + convertToFormat, on 256 frames of
// 256 x 256 as BMP and as PNG. Both must give the same pixels.
#include "benchharness.h"

#include "decode/imagechecks.h"
#include "decode/imagedecoder.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kFrames = 256;
constexpr int kSide = 256;

// Rendered-looking frames: a smooth gradient with a moving disc and noise.
QImage renderedFrame(int index)
{
    QImage image(kSide, kSide, QImage::Format_RGB32);
    quint32 seed = quint32(index) * 2654435761u + 1;
    for (int y = 0; y < kSide; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kSide; ++x) {
            seed = seed * 1103515245u + 12345u;
            const double d = std::hypot(x - 128 - 40 * std::sin(index * 0.1), y - 128);
            const int noise = int(seed >> 28);
            row[x] = d < 60 ? qRgb(200 + noise, 80 + index % 50, 40) : qRgb(x / 2 + noise, y / 2, 90 + noise);
        }
    }
    return image;
}

void benchFormat(const char *format)
{
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < kFrames; ++i) {
        const QString path = dir.filePath(QStringLiteral("frame%1.").arg(i) + QLatin1String(format));
        if (!renderedFrame(i).save(path, format)) {
            std::printf("cannot write the frames\n");
            return;
        }
        paths.append(path);
    }
    QList<QByteArray> bytes;
    for (const QString &path : paths) {
        QFile file(path);
        bytes.append(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    bool same = true;
    // Every image is kept until the set is loaded, as a project keeps its frames.
    QList<QImage> kept;
    kept.reserve(kFrames);
    const double plainMs = kestrinbench::bestMs(5, [&] {
        kept.clear();
        for (const QString &path : paths)
            kept.append(QImage(path).convertToFormat(QImage::Format_ARGB32));
    });
    const double checkedMs = kestrinbench::bestMs(5, [&] {
        kept.clear();
        for (const QString &path : paths)
            kept.append(kestrin::decodeImageFile(path).image);
    });
    kept.clear();
    const double checkMs = kestrinbench::bestMs(5, [&] {
        for (const QByteArray &data : bytes)
            (void)kestrin::checkForQtReader(format, data, [] { return QSize(); });
    });
    for (const QString &path : paths)
        same = same && kestrin::decodeImageFile(path).image == QImage(path).convertToFormat(QImage::Format_ARGB32);
    std::printf("%-4s %d frames of %d x %d: QImage::load %7.1f ms, decodeImageFile %7.1f ms (%+5.1f%%), of which "
                "the format check %5.2f ms; same pixels: %s\n",
                format, kFrames, kSide, kSide, plainMs, checkedMs, 100.0 * (checkedMs - plainMs) / plainMs, checkMs,
                same ? "yes" : "NO");
}

} // namespace

KESTRIN_BENCH("decode: checked decoder vs QImage::load, 256 frames of 256 x 256", [] {
    benchFormat("bmp");
    benchFormat("png");
})
