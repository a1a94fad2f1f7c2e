#pragma once

// Frames whose readers need Qt GUI (Qt's BMP, PNM, XPM, ICO... readers) or
// pass their pixels through QImage (libtiff's, stb_image's), in a program
// built with plain images (frameimage.h): the program that has them decodes
// those frames, and hands back plain data. The types here are the same in
// both builds.

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

namespace kestrin {

/** A decoded frame as plain data: the pixels of DecodeResult::image, row
 *  after row, or a failure (a DecodeFailure other than None) with its reason. */
struct GuiDecoded {
    quint8 failure = 0;
    QString reason;
    QByteArray decoder;
    QStringList notices;
    int width = 0;
    int height = 0;
    QByteArray pixels; // width x height 32-bit ARGB words
};

/** What the program with Qt GUI offers: decoding data under a name, as
 *  decodeImageData does with a name for a hint, and the size a frame file's
 *  header declares, as probeImageFile finds it (read through the open
 *  descriptor `fd` of a file of `size` bytes, or from `whole` when `fd` is
 *  -1; an invalid size when no reader recognises it). */
struct GuiReaders {
    void (*decode)(const QString &name, const QByteArray &bytes, GuiDecoded &out);
    QSize (*declaredSize)(const QString &path, int fd, qint64 size, const QByteArray &whole);
};

/** Where a program with plain images finds the readers: a function that
 *  loads them, called once, the first time a frame needs them; it gives null
 *  with `why` set when they cannot be had. */
using GuiReadersLoader = const GuiReaders *(*)(QString &why);

#ifdef KESTRIN_PLAIN_IMAGES
/** Set once, before any frame is decoded. */
void setGuiReadersLoader(GuiReadersLoader loader);
#else
/** The readers of this build, for a program with plain images. */
[[nodiscard]] const GuiReaders &guiReaders();
#endif

} // namespace kestrin
