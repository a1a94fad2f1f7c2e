#!/usr/bin/env bash
# The test command, in two sizes (both install what is missing first):
#
#   ./scripts/test.sh --quick   after every change: the layout check, then the
#                               `unit` label in the normal build (build/)
#   ./scripts/test.sh           before you stop, and what CI runs: the layout
#                               check; the whole suite in the normal build
#                               (valgrind and packaging checks included); the
#                               suite again under AddressSanitizer +
#                               UndefinedBehaviorSanitizer (build-asan/, only
#                               the core and the tests, at -O1); then the
#                               fuzz targets for a while each (build-fuzz/)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quick=0
case "${1-}" in
"") ;;
--quick) quick=1 ;;
*) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# configure BUILD ARGS...: Ninja for a new build folder (an existing one keeps
# the generator it was made with), and ccache when it is installed.
configure() {
    local build=$1 generator=()
    shift
    [[ -f $build/CMakeCache.txt ]] || generator=(-G Ninja)
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$build" "${generator[@]}" "${launcher[@]}" "$@" >/dev/null
}

echo "== layout of src/ (clang-format-14 and .clang-format) =="
if ! (cd "$root" && find src \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z \
    | xargs -0 clang-format-14 --dry-run --Werror); then
    echo "Files under src/ differ from clang-format-14's layout: run clang-format-14 -i on them." >&2
    exit 1
fi

if ((quick)); then
    echo "== build and run the unit tests =="
    configure "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$root/build" --parallel "$jobs" --target kestrin-unit-tests
    ctest --test-dir "$root/build" --output-on-failure --parallel "$jobs" --label-regex '^unit$'
    exit 0
fi

echo "== build and test =="
configure "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --parallel "$jobs"
ctest --test-dir "$root/build" --output-on-failure --parallel "$jobs"

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer =="
# Only what the tests run is built (the core, the test suites, kestrin-art),
# at -O1: the sanitizers' own advice, and several times faster than -O0. Line
# tables (-g1) are all a report's stack needs, and quicker to compile.
configure "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DKESTRIN_SANITIZE=ON
cmake --build "$root/build-asan" --parallel "$jobs" --target kestrin-tests
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$root/build-asan" --output-on-failure --parallel "$jobs"
# Seconds each fuzz target runs: the reader and the decoder, the palette parser.
fuzz_seconds=45 palette_fuzz_seconds=20
echo "== fuzz the .art reader and the frame decoder for $fuzz_seconds seconds each, side by side (libFuzzer, clang) =="
# A separate clang build of the fuzz targets; the corpora they grow stay in
# build-fuzz/, and a crash fails the test command with the input saved there.
cmake -S "$root/tests/fuzz/target" -B "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-fuzz" --parallel "$jobs"
mkdir -p "$root/build-fuzz/corpus" "$root/build-fuzz/crashes" "$root/build-fuzz/decode-corpus"
# Each fuzzer is one process on one core: with two cores or more the two
# run at once, each for the same time; their long reports go to logs, shown
# when one fails.
fuzz_reader() {
    "$root/build-fuzz/fuzz_artreader" -max_total_time=$fuzz_seconds -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
        "$root/build-fuzz/corpus" "$root/tests/fuzz/corpus" "$root/tests/fuzz/regressions" \
        >"$root/build-fuzz/fuzz_artreader.log" 2>&1
}
fuzz_decoder() {
    "$root/build-fuzz/fuzz_imagedecoder" -max_total_time=$fuzz_seconds -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
        "$root/build-fuzz/decode-corpus" "$root/tests/fuzz/decode-corpus" "$root/tests/fuzz/decode-regressions" \
        >"$root/build-fuzz/fuzz_imagedecoder.log" 2>&1
}
reader_status=0 decoder_status=0
if ((jobs >= 2)); then
    fuzz_reader &
    reader=$!
    fuzz_decoder &
    decoder=$!
    wait $reader || reader_status=$?
    wait $decoder || decoder_status=$?
else
    fuzz_reader || reader_status=$?
    fuzz_decoder || decoder_status=$?
fi
if ((reader_status)); then
    tail -n 40 "$root/build-fuzz/fuzz_artreader.log" >&2
    echo "The fuzzer found an input that breaks the .art reader (saved in build-fuzz/crashes/)." >&2
    echo "Fix the reader and keep the input in tests/fuzz/regressions/, named after what broke." >&2
    exit 1
fi
if ((decoder_status)); then
    tail -n 40 "$root/build-fuzz/fuzz_imagedecoder.log" >&2
    echo "The fuzzer found an input that breaks the frame decoder (saved in build-fuzz/crashes/)." >&2
    echo "Fix the decoder and keep the input in tests/fuzz/decode-regressions/, named after what broke." >&2
    exit 1
fi
grep '^stat::' "$root/build-fuzz/fuzz_artreader.log" "$root/build-fuzz/fuzz_imagedecoder.log"

echo "== fuzz the palette-file parser for $palette_fuzz_seconds seconds (libFuzzer, clang) =="
mkdir -p "$root/build-fuzz/palette-corpus"
if ! "$root/build-fuzz/fuzz_palette" -max_total_time=$palette_fuzz_seconds -max_len=4096 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crashes/" \
    "$root/build-fuzz/palette-corpus" "$root/tests/fuzz/palette-corpus"; then
    echo "The fuzzer found an input that breaks the palette parser (saved in build-fuzz/crashes/)." >&2
    echo "Fix the parser and keep the input in tests/fuzz/palette-corpus/ as broken-<what broke>." >&2
    exit 1
fi
