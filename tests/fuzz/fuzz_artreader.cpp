// libFuzzer target for the ".art" reader (built by tests/fuzz/target with
// clang and -fsanitize=fuzzer,address,undefined).
#include "artreaderfuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: the reader must stay inside these bytes.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)kestrinfuzz::exerciseArtReader(bytes);
    return 0;
}
