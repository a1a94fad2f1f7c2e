// JPEG through libjpeg-turbo: the library decides. A warning while pixels
// are still to come means it made up data (libjpeg carries on over corrupt
// or missing scan data); one after the last row, such as a missing
// end-of-image marker, leaves a whole image.
#include "decode/formatlibraries.h"
#include "decode/formatreaders.h"
#include "decode/frameimage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace kestrin {

namespace {

/** The error manager libjpeg reports to, and what the decode has seen.
 *  Plain data only: libjpeg leaves through longjmp, which must skip no
 *  destructor. */
struct JpegRun {
    jpeg_error_mgr manager; // first, so that libjpeg's pointer to it is a pointer to the run
    jpeg_source_mgr source;
    std::jmp_buf escape;
    const uchar *data = nullptr;
    size_t size = 0;
    bool ranOut = false;                // the data ended; libjpeg was given an end-of-image marker
    bool multipleScans = false;         // progressive (or multi-scan) data: later scans refine earlier ones
    bool allRows = false;               // every row has been decoded
    bool damaged = false;               // a warning came while pixels were still to come
    char message[JMSG_LENGTH_MAX] = {}; // the first error or damaging warning
    char notice[JMSG_LENGTH_MAX] = {};  // the first warning after the last row
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

JpegRun &runOf(j_common_ptr info)
{
    return *reinterpret_cast<JpegRun *>(info->err);
}

void errorExit(j_common_ptr info)
{
    JpegRun &run = runOf(info);
    if (run.message[0] == '\0')
        (*info->err->format_message)(info, run.message);
    std::longjmp(run.escape, 1);
}

/** Warnings about the file's metadata only; the pixels are unaffected. */
bool aboutMetadata(int code)
{
    return code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC;
}

void emitMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    JpegRun &run = runOf(info);
    const bool harmless = run.allRows || aboutMetadata(info->err->msg_code);
    char *to = harmless ? run.notice : run.message;
    if (!harmless)
        run.damaged = true;
    if (to[0] == '\0')
        (*info->err->format_message)(info, to);
}

void outputMessage(j_common_ptr)
{
    // Never to standard error: the messages go into the outcome.
}

void initSource(j_decompress_ptr)
{
}
void termSource(j_decompress_ptr)
{
}

boolean fillInput(j_decompress_ptr info)
{
    // The whole file is in the buffer: being asked for more means it ended.
    JpegRun &run = runOf(reinterpret_cast<j_common_ptr>(info));
    run.ranOut = true;
    info->src->next_input_byte = kEndOfImage;
    info->src->bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr *source = info->src;
    if (size_t(count) > source->bytes_in_buffer) {
        (void)fillInput(info);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= size_t(count);
}

/** The header, and the output layout: B, G, R, A bytes (A, R, G, B on
 *  big-endian machines), the layout of ARGB32; CMYK stays CMYK. */
bool jpegHeader(const JpegLibrary &jpeg, jpeg_decompress_struct *info, JpegRun &run)
{
    if (setjmp(run.escape))
        return false;
    jpeg.jpeg_CreateDecompress(info, JPEG_LIB_VERSION, sizeof(struct jpeg_decompress_struct));
    info->src = &run.source;
    if (jpeg.jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return false;
    // Asked here: libjpeg answers only between reading the header and
    // finishing (and reports a wrong moment through the error handler).
    run.multipleScans = jpeg.jpeg_has_multiple_scans(info);
    if (info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK)
        info->out_color_space = JCS_CMYK;
    else
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        info->out_color_space = JCS_EXT_BGRA;
#else
        info->out_color_space = JCS_EXT_ARGB;
#endif
    jpeg.jpeg_start_decompress(info);
    return info->output_components == 4;
}

/** Decodes every row into `rows` (4 bytes a pixel), then reads to the end. */
bool jpegRows(const JpegLibrary &jpeg, jpeg_decompress_struct *info, JpegRun &run, JSAMPROW *rows)
{
    if (setjmp(run.escape))
        return false;
    while (info->output_scanline < info->output_height) {
        if (jpeg.jpeg_read_scanlines(info, rows + info->output_scanline, info->output_height - info->output_scanline)
            == 0)
            return false;
    }
    run.allRows = true;
    (void)jpeg.jpeg_finish_decompress(info);
    return true;
}

/** Adobe's inverted CMYK to RGB, as Qt's reader converts it. */
void cmykToRgb(Image &image)
{
    for (int y = 0; y < image.height(); ++y) {
        uchar *in = image.scanLine(y);
        auto *out = reinterpret_cast<QRgb *>(in);
        for (int x = 0; x < image.width(); ++x, in += 4) {
            const int k = in[3];
            out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
        }
    }
}

QString libjpegSays(const char *text)
{
    return QStringLiteral("libjpeg: ") + QString::fromLatin1(text);
}

} // namespace

bool looksLikeJpeg(const QByteArray &bytes)
{
    return bytes.startsWith("\xFF\xD8");
}

DecodeResult decodeJpeg(const QByteArray &bytes, const DecodeLimits &limits)
{
    QString missing;
    const JpegLibrary *library = jpegLibrary(&missing);
    if (!library)
        return decodeFailure(DecodeFailure::Unsupported, missing);
    const JpegLibrary &jpeg = *library;
    JpegRun run;
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg.jpeg_std_error(&run.manager);
    run.manager.error_exit = errorExit;
    run.manager.emit_message = emitMessage;
    run.manager.output_message = outputMessage;
    run.source.init_source = initSource;
    run.source.fill_input_buffer = fillInput;
    run.source.skip_input_data = skipInput;
    run.source.resync_to_restart = jpeg.jpeg_resync_to_restart;
    run.source.term_source = termSource;
    run.source.next_input_byte = reinterpret_cast<const JOCTET *>(bytes.constData());
    run.source.bytes_in_buffer = size_t(bytes.size());

    struct Cleanup {
        const JpegLibrary &jpeg;
        jpeg_decompress_struct *info;
        ~Cleanup() { jpeg.jpeg_destroy_decompress(info); }
    } cleanup{jpeg, &info};

    DecodeResult result;
    const bool header = jpegHeader(jpeg, &info, run);
    if (!header || (info.output_width > 0 && exceedsLimits(info.output_width, info.output_height, limits, result))) {
        if (!header && run.ranOut)
            return decodeFailure(
                DecodeFailure::Truncated,
                QStringLiteral("the JPEG data ends at byte %1 (%2)").arg(bytes.size()).arg(libjpegSays(run.message)));
        if (!header)
            return decodeFailure(DecodeFailure::NotAnImage,
                                 libjpegSays(run.message[0] ? run.message : "an unsupported layout"));
        return result;
    }
    Image image(int(info.output_width), int(info.output_height), Image::Format_ARGB32);
    if (image.isNull())
        return decodeFailure(DecodeFailure::TooLarge, QStringLiteral("out of memory for the decoded pixels"));
    std::vector<JSAMPROW> rows(info.output_height);
    for (JDIMENSION y = 0; y < info.output_height; ++y)
        rows[y] = image.scanLine(int(y));
    const bool whole = jpegRows(jpeg, &info, run, rows.data());
    if (!whole || run.damaged)
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the JPEG scan data is cut short or damaged; libjpeg made up the rest (%1)")
                                 .arg(libjpegSays(run.message[0] ? run.message : "it stopped early")));
    if (run.ranOut && run.multipleScans)
        return decodeFailure(DecodeFailure::Truncated,
                             QStringLiteral("the progressive JPEG data ends at byte %1 without its end-of-image "
                                            "marker: later scans may be missing")
                                 .arg(bytes.size()));
    if (info.out_color_space == JCS_CMYK)
        cmykToRgb(image);
    if (info.density_unit == 1 || info.density_unit == 2) {
        // As Qt's reader sets them: dots per inch or per centimetre, to metres.
        const double perMetre = info.density_unit == 1 ? 100.0 / 2.54 : 100.0;
        image.setDotsPerMeterX(int(info.X_density * perMetre));
        image.setDotsPerMeterY(int(info.Y_density * perMetre));
    }
    result.image = image;
    result.decoder = "jpeg";
    if (run.ranOut)
        result.notices << QStringLiteral("the JPEG data ends without its end-of-image marker");
    if (run.notice[0] != '\0')
        result.notices << libjpegSays(run.notice);
    return result;
}

} // namespace kestrin
