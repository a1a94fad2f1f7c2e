#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kestrin {

struct PsdLayout;

/** Decodes TGA data with stb_image, rows stored right to left mirrored
 *  into place.
 *
 *  Returns the image in Format_ARGB32 (not premultiplied), or a null image
 *  with `error` set to stb_image's reason. stb_image fills whatever data is
 *  missing with zeros, so callers run checkTgaForStb first. Safe to call
 *  from several threads at once. */
[[nodiscard]] QImage decodeTgaWithStb(const QByteArray &data, QString &error);

/** Decodes the composite of a PSD that checkPsdForStb passed, as `layout`
 *  describes it. stb_image reads the colour planes; the alpha plane is read
 *  here and kept with the colours as stored (stb_image would take a white
 *  matte out of them, which the writers of these files never put in). Same
 *  contract as decodeTgaWithStb otherwise. */
[[nodiscard]] QImage decodePsdWithStb(const QByteArray &data, const PsdLayout &layout, QString &error);

} // namespace kestrin
