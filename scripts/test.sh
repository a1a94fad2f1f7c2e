#!/usr/bin/env bash
# Installs what is missing, builds Kestrin and runs the whole test suite twice:
# once in a normal build (with the decoder's valgrind run), once under
# AddressSanitizer + UndefinedBehaviorSanitizer; then the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== layout of src/ (clang-format-14 and .clang-format) =="
if ! (cd "$root" && find src \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z \
    | xargs -0 clang-format-14 --dry-run --Werror); then
    echo "Files under src/ differ from clang-format-14's layout: run clang-format-14 -i on them." >&2
    exit 1
fi

echo "== build and test =="
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --parallel "$jobs"
ctest --test-dir "$root/build" --output-on-failure --parallel "$jobs"

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer =="
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" --parallel "$jobs"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$root/build-asan" --output-on-failure --parallel "$jobs"

echo "== fuzz the .art reader and the frame decoder for 60 seconds each (libFuzzer, clang) =="
# A separate clang build of the fuzz targets; the corpora they grow stay in
# build-fuzz/, and a crash fails the test command with the input saved there.
cmake -S "$root/tests/fuzz/target" -B "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-fuzz" --parallel "$jobs"
mkdir -p "$root/build-fuzz/corpus" "$root/build-fuzz/crashes"
if ! "$root/build-fuzz/fuzz_artreader" -max_total_time=60 -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
    "$root/build-fuzz/corpus" "$root/tests/fuzz/corpus" "$root/tests/fuzz/regressions"; then
    echo "The fuzzer found an input that breaks the .art reader (saved in build-fuzz/crashes/)." >&2
    echo "Fix the reader and keep the input in tests/fuzz/regressions/, named after what broke." >&2
    exit 1
fi
# The decoder's readers (libtiff, libpng) print their complaints about broken
# inputs straight to standard error: they go to a log, shown when it fails.
mkdir -p "$root/build-fuzz/decode-corpus"
if ! "$root/build-fuzz/fuzz_imagedecoder" -max_total_time=60 -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
    "$root/build-fuzz/decode-corpus" "$root/tests/fuzz/decode-corpus" "$root/tests/fuzz/decode-regressions" \
    >"$root/build-fuzz/fuzz_imagedecoder.log" 2>&1; then
    tail -n 40 "$root/build-fuzz/fuzz_imagedecoder.log" >&2
    echo "The fuzzer found an input that breaks the frame decoder (saved in build-fuzz/crashes/)." >&2
    echo "Fix the decoder and keep the input in tests/fuzz/decode-regressions/, named after what broke." >&2
    exit 1
fi
grep '^stat::' "$root/build-fuzz/fuzz_imagedecoder.log"

echo "== fuzz the palette-file parser for 30 seconds (libFuzzer, clang) =="
mkdir -p "$root/build-fuzz/palette-corpus"
if ! "$root/build-fuzz/fuzz_palette" -max_total_time=30 -max_len=4096 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
    "$root/build-fuzz/palette-corpus" "$root/tests/fuzz/palette-corpus"; then
    echo "The fuzzer found an input that breaks the palette parser (saved in build-fuzz/crashes/)." >&2
    echo "Fix the parser and keep the input in tests/fuzz/palette-corpus/ as broken-<what broke>." >&2
    exit 1
fi
