#!/usr/bin/env bash
# Installs what is missing, builds Kestrin and runs the whole test suite twice:
# once in a normal build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

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

echo "== fuzz the .art reader for 60 seconds (libFuzzer, clang) =="
# A separate clang build of the reader; the corpus it grows stays in
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

echo "== fuzz the palette-file parser for 30 seconds (libFuzzer, clang) =="
mkdir -p "$root/build-fuzz/palette-corpus"
if ! "$root/build-fuzz/fuzz_palette" -max_total_time=30 -max_len=4096 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
    "$root/build-fuzz/palette-corpus" "$root/tests/fuzz/palette-corpus"; then
    echo "The fuzzer found an input that breaks the palette parser (saved in build-fuzz/crashes/)." >&2
    echo "Fix the parser and keep the input in tests/fuzz/palette-corpus/ as broken-<what broke>." >&2
    exit 1
fi
