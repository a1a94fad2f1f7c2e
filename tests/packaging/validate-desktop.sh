#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate with no error, warning or hint.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
entry=$1
command -v desktop-file-validate >/dev/null ||
    skip "desktop-file-validate is not installed (Debian package desktop-file-utils)"
if ! out=$(desktop-file-validate "$entry" 2>&1) || [[ -n $out ]]; then
    fail "desktop-file-validate $entry:"$'\n'"$out"
fi
[[ $(basename "$entry") == "$app_id.desktop" ]] || fail "desktop entry is not named $app_id.desktop"
finish
