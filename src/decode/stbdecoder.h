#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kestrin {

struct PsdLayout;

/** Decodes TGA data with stb_image.
 *
 *  Returns the image in Format_ARGB32 (not premultiplied), or a null image
 *  with `error` set to stb_image's reason. stb_image fills whatever data is
 *  missing with zeros, so callers run checkTgaForStb first. Safe to call
 *  from several threads at once. */
[[nodiscard]] QImage decodeTgaWithStb(const QByteArray &data, QString &error);

/** Decodes the composite of a PSD that checkPsdForStb passed, as `layout`
 *  describes it. stb_image reads the colour planes; the alpha plane is read
 *  here and the white matte of semi-transparent pixels removed with
 *  stb_image's own formula, kept to the range of a byte (stb_image converts
 *  values out of range, from colours darker than the matte allows, with
 *  undefined behaviour). Same contract as decodeTgaWithStb otherwise. */
[[nodiscard]] QImage decodePsdWithStb(const QByteArray &data, const PsdLayout &layout, QString &error);

} // namespace kestrin
