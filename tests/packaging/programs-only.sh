#!/usr/bin/env bash
# Configured with -DKESTRIN_BUILD_TESTS=OFF (and with CMake's BUILD_TESTING=OFF),
# the tree builds only the programs: kestrin and kestrin-art are targets, and
# nothing of the tests, the benchmark or the fuzz tools is.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source_dir=$1 generator=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for option in KESTRIN_BUILD_TESTS BUILD_TESTING; do
    build=$tmp/$option
    if ! cmake -S "$source_dir" -B "$build" -G "$generator" -D$option=OFF >"$build.log" 2>&1; then
        cat "$build.log" >&2
        fail "configuring with $option=OFF failed"
        continue
    fi
    # One folder per target, named after the folder of its CMakeLists.txt.
    targets=$(sed "s|^$build/||" "$build/CMakeFiles/TargetDirectories.txt")
    for program in src/app/CMakeFiles/kestrin.dir src/cli/CMakeFiles/kestrin-art.dir; do
        grep -qx "$program" <<<"$targets" || fail "$option=OFF: no target $program"
    done
    if extra=$(grep -E '^(tests|bench)/' <<<"$targets"); then
        fail "$option=OFF still makes these targets:"$'\n'"$extra"
    fi
    if grep -rqs 'add_test' --include=CTestTestfile.cmake "$build"; then
        fail "$option=OFF still registers tests"
    fi
done
finish
