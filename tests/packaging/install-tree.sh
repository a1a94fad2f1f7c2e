#!/usr/bin/env bash
# `cmake --install` into a temporary prefix yields a complete desktop install:
# binaries, desktop entry, icons, metainfo, all agreeing with each other.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build=$1 version=$2 has_cli=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log" >&2
    fail "cmake --install failed"
    finish
fi
check_tree "$tmp/prefix" "$has_cli"

# Installed binaries must find Qt where the system keeps it, not in the build tree.
if command -v readelf >/dev/null; then
    for f in "$tmp"/prefix/bin/*; do
        readelf -d "$f" | grep -E 'RPATH|RUNPATH' | grep -qF "$build" && fail "$f keeps a path into the build tree"
    done
fi
[[ $has_cli == ON ]] && check_cli_version "$tmp/prefix" "$version"

if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate-tree --no-net "$tmp/prefix" 2>&1) ||
        fail "appstreamcli validate-tree:"$'\n'"$out"
else
    echo "note: appstreamcli not installed, install tree not validated as a whole"
fi
finish
