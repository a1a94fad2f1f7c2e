#pragma once

// Folders of numbered frame files made from a seed, optionally with one bad
// file among them, and a summary of a loaded project that two loads can be
// compared by. The frames differ in size, PNG kind and content, so that
// files decoded at the same time finish in no particular order.

#include "project/project.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <QStringList>

#include <random>

namespace fixture {

/** What the bad file of a folder holds. */
enum class BadFile {
    None,       // every file decodes
    NotAnImage, // a few bytes of text
    Truncated,  // a PNG cut in the middle of its pixel data
    Folder,     // a folder named like a frame
    Empty,      // a file of no bytes
};

/** A folder of frames camera<stage>_<frame>.png, the loader's default pattern
 *  with a PNG suffix. */
struct SeededFolder {
    QString folder;    // ends with '/'
    QStringList paths; // every frame file, in increasing stage and frame number
};

/** A frame of `width` x `height`: a flat background with a noisy gradient
 *  patch somewhere inside, in one of four PNG kinds (true colour with and
 *  without alpha, palette, grey). */
inline QImage seededFrame(std::mt19937 &rng, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    const QRgb background = qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256));
    image.fill(background);
    const int left = int(rng() % quint32(width)), top = int(rng() % quint32(height));
    const int right = left + 1 + int(rng() % quint32(width - left));
    const int bottom = top + 1 + int(rng() % quint32(height - top));
    const int alpha = rng() % 2 ? 255 : 128;
    for (int y = top; y < bottom; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = left; x < right; ++x)
            row[x] = qRgba((x * 5 + int(rng() % 8)) % 256, (y * 3) % 256, (x + y + int(rng() % 4)) % 256, alpha);
    }
    switch (rng() % 4) {
    case 0: return image;
    case 1: return image.convertToFormat(QImage::Format_RGB32);
    case 2: return image.convertToFormat(QImage::Format_Indexed8);
    default: return image.convertToFormat(QImage::Format_Grayscale8);
    }
}

/** Writes 2 to 4 stages (stage numbers with gaps) of 1 to 8 frames (frame
 *  numbers with gaps after frame 0) into `folder`, which must end with '/',
 *  each frame drawn from `seed`. `paths` is empty when writing failed. */
inline SeededFolder writeSeededFolder(const QString &folder, quint32 seed)
{
    SeededFolder made;
    made.folder = folder;
    std::mt19937 rng(seed);
    if (!QDir().mkpath(folder))
        return made;
    const int stages = 2 + int(rng() % 3);
    quint32 stage = 1 + rng() % 3;
    for (int s = 0; s < stages; ++s, stage += 1 + rng() % 2) {
        const int frames = 1 + int(rng() % 8);
        quint32 frame = 0;
        for (int f = 0; f < frames; ++f, frame += 1 + rng() % 3) {
            const QString path = folder
                + QStringLiteral("camera%1_%2.png").arg(stage, 2, 10, QLatin1Char('0')).arg(frame, 4, 10, QLatin1Char('0'));
            const int width = rng() % 5 == 0 ? 200 : 4 + int(rng() % 40);
            if (!seededFrame(rng, width, 3 + int(rng() % 40)).save(path, "PNG"))
                return SeededFolder{folder, {}};
            made.paths.append(path);
        }
    }
    return made;
}

/** Replaces the PNG file at `path` by a bad one of kind `bad`. */
inline bool spoilFile(const QString &path, BadFile bad)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray png = file.readAll();
    file.close();
    if (!QFile::remove(path))
        return false;
    if (bad == BadFile::Folder)
        return QDir().mkdir(path);
    const QByteArray bytes = bad == BadFile::NotAnImage ? QByteArray("not an image\n")
        : bad == BadFile::Truncated                      ? png.left(png.size() / 2)
        : bad == BadFile::Empty                          ? QByteArray()
                                                         : png;
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/** One line per frame of `project`: stage and frame, the path, both images
 *  (format, size and a hash of the pixels), the bounds, and the first frame
 *  whose source pixels are the very same memory. Two loads that made the same
 *  project give the same lines. */
inline QStringList projectSummary(const kestrin::Project &project)
{
    auto image = [](const QImage &img) {
        if (img.isNull())
            return QStringLiteral("null");
        QByteArray bytes;
        for (int y = 0; y < img.height(); ++y)
            bytes.append(reinterpret_cast<const char *>(img.constScanLine(y)),
                         qsizetype(img.width()) * img.depth() / 8);
        return QStringLiteral("%1x%2 f%3 #%4")
            .arg(img.width())
            .arg(img.height())
            .arg(int(img.format()))
            .arg(qHash(bytes), 0, 16);
    };
    QStringList lines;
    QList<const uchar *> sources;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        const kestrin::Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < stage.frameCount; ++f) {
            const kestrin::Frame &frame = *stage.frames[f];
            const uchar *bits = frame.sourceImage.constBits();
            const qsizetype shared = bits ? sources.indexOf(bits) : -1;
            sources.append(bits);
            const kestrin::BoundRect &b = frame.boundRect;
            lines << QStringLiteral("%1/%2 %3 source %4 work %5 bounds %6,%7,%8,%9 shares %10")
                         .arg(s)
                         .arg(f)
                         .arg(frame.filePath, image(frame.sourceImage), image(frame.workImage))
                         .arg(b.left)
                         .arg(b.top)
                         .arg(b.right)
                         .arg(b.bottom)
                         .arg(shared);
        }
    }
    return lines;
}

} // namespace fixture
