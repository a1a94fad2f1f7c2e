// libFuzzer target for the frame decoder: the format checks, the stb_image
// readers and Qt's readers behind them (built by tests/fuzz/target with
// clang and -fsanitize=fuzzer,address,undefined).
#include "imagedecodefuzz.h"

#include <QImageReader>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Large enough for every legitimate input of the size fuzzed, small
    // enough that a header claiming a huge image fails fast.
    QImageReader::setAllocationLimit(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)kestrinfuzz::exerciseImageDecoder(bytes);
    return 0;
}
