// WebP through libwebp: the library decides. A still image decodes whole or
// not at all; of an animation, the first frame on its canvas, as Qt's
// reader shows it.
#include "decode/formatlibraries.h"
#include "decode/formatreaders.h"
#include "decode/frameimage.h"

#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>

namespace kestrin {

namespace {

QString statusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OK:
        return QStringLiteral("no error");
    case VP8_STATUS_OUT_OF_MEMORY:
        return QStringLiteral("out of memory");
    case VP8_STATUS_INVALID_PARAM:
        return QStringLiteral("invalid parameter");
    case VP8_STATUS_BITSTREAM_ERROR:
        return QStringLiteral("bitstream error");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return QStringLiteral("unsupported feature");
    case VP8_STATUS_SUSPENDED:
        return QStringLiteral("suspended");
    case VP8_STATUS_USER_ABORT:
        return QStringLiteral("user abort");
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return QStringLiteral("not enough data");
    }
    return QStringLiteral("status %1").arg(int(status));
}

DecodeResult webpFailure(VP8StatusCode status, bool header, qsizetype size)
{
    const QString says = QStringLiteral("libwebp: ") + statusText(status);
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the WebP data ends at byte %1 (%2)").arg(size).arg(says));
    case VP8_STATUS_OUT_OF_MEMORY:
        return decodeFailure(DecodeFailure::TooLarge, says);
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return decodeFailure(DecodeFailure::Unsupported, says);
    default:
        return header
            ? decodeFailure(DecodeFailure::NotAnImage, says)
            : decodeFailure(DecodeFailure::Truncated, QStringLiteral("the WebP image data is damaged (%1)").arg(says));
    }
}

constexpr WEBP_CSP_MODE kArgb32Order =
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    MODE_BGRA;
#else
    MODE_ARGB;
#endif

/** The first frame of an animation, composed on its canvas. */
DecodeResult decodeAnimation(const QByteArray &bytes)
{
    QString missing;
    const WebpDemuxLibrary *demux = webpDemuxLibrary(&missing);
    if (!demux)
        return decodeFailure(DecodeFailure::Unsupported, missing);
    WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    // WebPAnimDecoderOptionsInit and WebPAnimDecoderNew, spelled out: the
    // header's inline forms call the library directly.
    if (!demux->WebPAnimDecoderOptionsInitInternal(&options, WEBP_DEMUX_ABI_VERSION))
        return decodeFailure(DecodeFailure::Unsupported, QStringLiteral("libwebp: version mismatch"));
    options.color_mode = kArgb32Order;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder *)> decoder(
        demux->WebPAnimDecoderNewInternal(&data, &options, WEBP_DEMUX_ABI_VERSION), demux->WebPAnimDecoderDelete);
    WebPAnimInfo info;
    if (!decoder || !demux->WebPAnimDecoderGetInfo(decoder.get(), &info))
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("libwebp cannot read the animation: its frames are cut short or damaged"));
    uint8_t *pixels = nullptr;
    int timestamp = 0;
    if (!demux->WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp) || !pixels)
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("libwebp cannot decode the first frame: it is cut short or damaged"));
    Image image(int(info.canvas_width), int(info.canvas_height), Image::Format_ARGB32);
    if (image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), pixels + size_t(y) * info.canvas_width * 4, size_t(info.canvas_width) * 4);
    DecodeResult result;
    result.image = image;
    result.decoder = "webp";
    return result;
}

} // namespace

bool looksLikeWebp(const QByteArray &bytes)
{
    return bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP";
}

DecodeResult decodeWebp(const QByteArray &bytes, const DecodeLimits &limits)
{
    QString missing;
    const WebpLibrary *webp = webpLibrary(&missing);
    if (!webp)
        return decodeFailure(DecodeFailure::Unsupported, missing);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const size_t size = size_t(bytes.size());
    WebPBitstreamFeatures features;
    // WebPGetFeatures and WebPInitDecoderConfig, spelled out (see above).
    VP8StatusCode status = webp->WebPGetFeaturesInternal(data, size, &features, WEBP_DECODER_ABI_VERSION);
    if (status != VP8_STATUS_OK)
        return webpFailure(status, true, bytes.size());
    DecodeResult result;
    if (exceedsLimits(quint64(features.width), quint64(features.height), limits, result))
        return result;
    if (features.has_animation)
        return decodeAnimation(bytes);
    Image image(features.width, features.height, Image::Format_ARGB32);
    if (image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    WebPDecoderConfig config;
    if (!webp->WebPInitDecoderConfigInternal(&config, WEBP_DECODER_ABI_VERSION))
        return decodeFailure(DecodeFailure::Unsupported, QStringLiteral("libwebp: version mismatch"));
    config.output.colorspace = kArgb32Order;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    status = webp->WebPDecode(data, size, &config);
    webp->WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return webpFailure(status, false, bytes.size());
    result.image = image;
    result.decoder = "webp";
    return result;
}

} // namespace kestrin
