#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kestrin {

/** Decodes TGA or PSD data with stb_image (TGA and PSD readers only).
 *
 *  Returns the image in Format_ARGB32 (not premultiplied), or a null image
 *  with `error` set to stb_image's reason. stb_image fills whatever data is
 *  missing with zeros, so callers run checkTgaForStb / checkPsdForStb first.
 *  Safe to call from several threads at once. */
[[nodiscard]] QImage decodeWithStb(const QByteArray &data, QString &error);

} // namespace kestrin
