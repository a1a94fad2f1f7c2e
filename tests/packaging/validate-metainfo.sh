#!/usr/bin/env bash
# The configured AppStream metainfo passes appstreamcli validate (no network,
# strict: infos fail too), carries the project's version, and its screenshot
# size agrees with the committed screenshot.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
meta=$1 version=$2 screenshot=$3
command -v appstreamcli >/dev/null ||
    skip "appstreamcli is not installed (Debian package appstream)"
if out=$(appstreamcli validate --no-net --strict --explain "$meta" 2>&1); then
    echo "$out"
else
    fail "appstreamcli validate $meta:"$'\n'"$out"
fi
[[ $(release_version "$meta") == "$version" ]] ||
    fail "metainfo release is '$(release_version "$meta")', expected $version"
declared=$(sed -n 's/.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)".*/\1x\2/p' "$meta")
[[ $declared == "$(png_size "$screenshot")" ]] ||
    fail "metainfo declares a ${declared:-missing} screenshot, $screenshot is $(png_size "$screenshot")"
finish
