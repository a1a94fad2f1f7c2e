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
