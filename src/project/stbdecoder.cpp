#include "project/stbdecoder.h"

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

#include <limits>
#include <memory>

namespace kestrin {

QImage decodeWithStb(const QByteArray &data, QString &error)
{
    if (data.size() > std::numeric_limits<int>::max()) {
        error = QStringLiteral("too much data");
        return QImage();
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void *)> pixels(
        stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(data.constData()), int(data.size()), &width,
                              &height, &channels, 4),
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

} // namespace kestrin
