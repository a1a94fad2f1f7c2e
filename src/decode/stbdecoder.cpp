#include "decode/stbdecoder.h"

#include "decode/imagechecks.h"

// stb_image from Debian's libstb-dev, built here with only the two readers
// used after Qt's: fewer parsers exposed to untrusted files, and the
// sanitizer and fuzzing builds see into them. Its failure reason is kept per
// thread (C++11 thread_local), and no global setting is changed here.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace kestrin {

namespace {

QImage decodeRgba(const QByteArray &data, QString &error)
{
    if (data.size() > std::numeric_limits<int>::max()) {
        error = QStringLiteral("too much data");
        return QImage();
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void *)> pixels(
        stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(data.constData()), int(data.size()), &width, &height,
                              &channels, 4),
        stbi_image_free);
    if (!pixels) {
        error = QString::fromLatin1(stbi_failure_reason());
        return QImage();
    }
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull()) {
        error = QStringLiteral("out of memory");
        return QImage();
    }
    const stbi_uc *source = pixels.get();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += 4)
            line[x] = qRgba(source[0], source[1], source[2], source[3]);
    }
    return image;
}

/** Skips (out == nullptr) or unpacks one PackBits channel of `count`
 *  samples from `pos`; the check has made sure the data holds it. */
void unpackChannel(const QByteArray &data, qsizetype &pos, quint64 count, uchar *out)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    quint64 done = 0;
    while (done < count) {
        const quint32 n = bytes[pos++];
        if (n == 128)
            continue;
        const quint64 run = n < 128 ? n + 1 : 257 - n;
        if (out) {
            if (n < 128)
                std::copy(bytes + pos, bytes + pos + qsizetype(run), out + done);
            else
                std::fill(out + done, out + done + run, bytes[pos]);
        }
        pos += n < 128 ? qsizetype(run) : 1;
        done += run;
    }
}

/** The alpha plane (the fourth) of a PSD composite, one byte a pixel. */
QByteArray alphaPlane(const QByteArray &data, const PsdLayout &psd)
{
    const quint64 pixels = psd.width * psd.height;
    QByteArray alpha(qsizetype(pixels), '\0');
    if (!psd.rle) {
        const quint64 sampleBytes = psd.depth / 8;
        const qsizetype start = qsizetype(psd.dataStart + 3 * pixels * sampleBytes);
        for (quint64 i = 0; i < pixels; ++i) // the high byte of a 16-bit sample
            alpha[qsizetype(i)] = data[start + qsizetype(i * sampleBytes)];
        return alpha;
    }
    qsizetype pos = qsizetype(psd.dataStart + psd.height * psd.channels * 2);
    for (int channel = 0; channel < 3; ++channel)
        unpackChannel(data, pos, pixels, nullptr);
    unpackChannel(data, pos, pixels, reinterpret_cast<uchar *>(alpha.data()));
    return alpha;
}

/** The PSD with only its three colour planes, for stb_image to read. */
QByteArray colourPlanesOnly(const QByteArray &data, const PsdLayout &psd)
{
    QByteArray copy = data.left(qsizetype(psd.dataStart));
    copy[12] = 0;
    copy[13] = 3; // channel count
    if (!psd.rle)
        return copy + data.mid(qsizetype(psd.dataStart), qsizetype(3 * psd.width * psd.height * (psd.depth / 8)));
    // stb_image skips the row length table without reading it.
    return copy + QByteArray(qsizetype(psd.height * 3 * 2), '\0')
        + data.mid(qsizetype(psd.dataStart + psd.height * psd.channels * 2));
}

} // namespace

QImage decodeTgaWithStb(const QByteArray &data, QString &error)
{
    return decodeRgba(data, error);
}

QImage decodePsdWithStb(const QByteArray &data, const PsdLayout &layout, QString &error)
{
    if (layout.channels < 4)
        return decodeRgba(data, error);
    QImage image = decodeRgba(colourPlanesOnly(data, layout), error);
    if (image.isNull())
        return image;
    const QByteArray alpha = alphaPlane(data, layout);
    qsizetype i = 0;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x, ++i) {
            const int a = uchar(alpha[i]);
            QRgb &pixel = line[x];
            if (a != 0 && a != 255) {
                // stb_image's white matte removal, in the same float steps.
                const float ratio = 1.0f / (float(a) / 255.0f);
                const float offset = 255.0f * (1 - ratio);
                auto unmatte = [&](int c) {
                    const float v = float(c) * ratio + offset;
                    return v <= 0.0f ? 0 : v >= 255.0f ? 255 : int(v);
                };
                pixel = qRgb(unmatte(qRed(pixel)), unmatte(qGreen(pixel)), unmatte(qBlue(pixel)));
            }
            pixel = (pixel & 0x00ffffffu) | quint32(a) << 24;
        }
    }
    return image;
}

} // namespace kestrin
