// libFuzzer target for the palette-file parser (built by tests/fuzz/target
// with clang and -fsanitize=fuzzer,address,undefined).
#include "palettefuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)kestrinfuzz::exercisePaletteParser(bytes);
    return 0;
}
