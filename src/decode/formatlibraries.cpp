#include "decode/formatlibraries.h"

#include <dlfcn.h>

namespace kestrin {

namespace {

template<typename Table>
struct Loaded {
    Table table;
    bool ok = false;
    QString failure;
};

/** Loads `soname` and fills `loaded` by `fill(handle)`; the library stays
 *  loaded for the life of the process. */
template<typename Table, typename Fill>
Loaded<Table> load(const char *soname, Fill fill)
{
    Loaded<Table> loaded;
    void *handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *error = ::dlerror();
        loaded.failure = QStringLiteral("%1 cannot be loaded: %2")
                             .arg(QString::fromLatin1(soname), QString::fromLocal8Bit(error ? error : "unknown error"));
        return loaded;
    }
    loaded.ok = true;
    fill(handle, loaded);
    return loaded;
}

// Each symbol by its name; the first missing one fails the table.
#define KESTRIN_LIBRARY_LOAD(name)                                                                                   \
    if (loaded.ok) {                                                                                                 \
        loaded.table.name = reinterpret_cast<decltype(loaded.table.name)>(::dlsym(handle, #name));                   \
        if (!loaded.table.name) {                                                                                    \
            loaded.ok = false;                                                                                       \
            loaded.failure = QStringLiteral("%1 has no %2").arg(QString::fromLatin1(soname), QStringLiteral(#name)); \
        }                                                                                                            \
    }

template<typename Table>
const Table *answer(const Loaded<Table> &loaded, QString *why)
{
    if (!loaded.ok && why)
        *why = loaded.failure;
    return loaded.ok ? &loaded.table : nullptr;
}

} // namespace

const JpegLibrary *jpegLibrary(QString *why)
{
    static const char *const soname = KESTRIN_SONAME_JPEG;
    static const Loaded<JpegLibrary> loaded = load<JpegLibrary>(
        soname, [](void *handle, Loaded<JpegLibrary> &loaded) { KESTRIN_JPEG_FUNCTIONS(KESTRIN_LIBRARY_LOAD) });
    return answer(loaded, why);
}

const TiffLibrary *tiffLibrary(QString *why)
{
    static const char *const soname = KESTRIN_SONAME_TIFF;
    static const Loaded<TiffLibrary> loaded = load<TiffLibrary>(
        soname, [](void *handle, Loaded<TiffLibrary> &loaded) { KESTRIN_TIFF_FUNCTIONS(KESTRIN_LIBRARY_LOAD) });
    return answer(loaded, why);
}

const WebpLibrary *webpLibrary(QString *why)
{
    static const char *const soname = KESTRIN_SONAME_WEBP;
    static const Loaded<WebpLibrary> loaded = load<WebpLibrary>(
        soname, [](void *handle, Loaded<WebpLibrary> &loaded) { KESTRIN_WEBP_FUNCTIONS(KESTRIN_LIBRARY_LOAD) });
    return answer(loaded, why);
}

const WebpDemuxLibrary *webpDemuxLibrary(QString *why)
{
    static const char *const soname = KESTRIN_SONAME_WEBPDEMUX;
    static const Loaded<WebpDemuxLibrary> loaded
        = load<WebpDemuxLibrary>(soname, [](void *handle, Loaded<WebpDemuxLibrary> &loaded) {
              KESTRIN_WEBP_DEMUX_FUNCTIONS(KESTRIN_LIBRARY_LOAD)
          });
    return answer(loaded, why);
}

} // namespace kestrin
