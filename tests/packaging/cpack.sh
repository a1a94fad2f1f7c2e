#!/usr/bin/env bash
# Builds the Debian packages once, into OUT, for the tests that inspect them
# (a CTest fixture: they run after it and only when it passed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build=$1 out=$2
for tool in cpack dpkg-deb; do
    command -v $tool >/dev/null || skip "$tool is not installed"
done
rm -rf "$out" "$out.log"
mkdir -p "$(dirname "$out")"
build_deb "$build" "$out"
ls -l "$out"
finish
