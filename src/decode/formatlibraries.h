#pragma once

// The format libraries that only some frames need — libjpeg, libtiff and
// libwebp with its demuxer — are loaded the first time a frame needs them,
// not with the program: together with what they pull in (libtiff alone
// brings three more libraries) they cost every start half a millisecond,
// while most sprites are PNG. Their functions are called through these
// tables, filled once from the library of the soname the build found.
//
// Every decoder asks for its table before anything else and fails the
// frame (Unsupported, with the loader's reason) when the library cannot be
// loaded.

#include <QString>

#include <cstdio> // jpeglib.h needs FILE

#include <jpeglib.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>

namespace kestrin {

#define KESTRIN_LIBRARY_MEMBER(name) decltype(&::name) name = nullptr;

#define KESTRIN_JPEG_FUNCTIONS(X) \
    X(jpeg_CreateDecompress)      \
    X(jpeg_destroy_decompress)    \
    X(jpeg_finish_decompress)     \
    X(jpeg_has_multiple_scans)    \
    X(jpeg_read_header)           \
    X(jpeg_read_scanlines)        \
    X(jpeg_resync_to_restart)     \
    X(jpeg_start_decompress)      \
    X(jpeg_std_error)

#define KESTRIN_TIFF_FUNCTIONS(X)           \
    X(TIFFClientOpenExt)                    \
    X(TIFFClose)                            \
    X(TIFFComputeStrip)                     \
    X(TIFFComputeTile)                      \
    X(TIFFGetField)                         \
    X(TIFFGetFieldDefaulted)                \
    X(TIFFIsTiled)                          \
    X(TIFFOpenOptionsAlloc)                 \
    X(TIFFOpenOptionsFree)                  \
    X(TIFFOpenOptionsSetErrorHandlerExtR)   \
    X(TIFFOpenOptionsSetWarningHandlerExtR) \
    X(TIFFReadEncodedStrip)                 \
    X(TIFFReadEncodedTile)                  \
    X(TIFFReadRGBAImageOriented)            \
    X(TIFFStripSize)                        \
    X(TIFFTileSize)

#define KESTRIN_WEBP_FUNCTIONS(X) \
    X(WebPDecode)                 \
    X(WebPFreeDecBuffer)          \
    X(WebPGetFeaturesInternal)    \
    X(WebPGetInfo)                \
    X(WebPInitDecoderConfigInternal)

#define KESTRIN_WEBP_DEMUX_FUNCTIONS(X) \
    X(WebPAnimDecoderDelete)            \
    X(WebPAnimDecoderGetInfo)           \
    X(WebPAnimDecoderGetNext)           \
    X(WebPAnimDecoderNewInternal)       \
    X(WebPAnimDecoderOptionsInitInternal)

struct JpegLibrary {
    KESTRIN_JPEG_FUNCTIONS(KESTRIN_LIBRARY_MEMBER)
};
struct TiffLibrary {
    KESTRIN_TIFF_FUNCTIONS(KESTRIN_LIBRARY_MEMBER)
};
struct WebpLibrary {
    KESTRIN_WEBP_FUNCTIONS(KESTRIN_LIBRARY_MEMBER)
};
struct WebpDemuxLibrary {
    KESTRIN_WEBP_DEMUX_FUNCTIONS(KESTRIN_LIBRARY_MEMBER)
};

/** Each library's functions, loaded on the first call (from any thread;
 *  later calls only look); null when the library cannot be loaded or lacks
 *  one of them, and then `why`, when given, says which and why. */
[[nodiscard]] const JpegLibrary *jpegLibrary(QString *why = nullptr);
[[nodiscard]] const TiffLibrary *tiffLibrary(QString *why = nullptr);
[[nodiscard]] const WebpLibrary *webpLibrary(QString *why = nullptr);
[[nodiscard]] const WebpDemuxLibrary *webpDemuxLibrary(QString *why = nullptr);

} // namespace kestrin
