#!/usr/bin/env bash
# kestrin_<version>_<arch>.deb, as CPack built it into OUT (cpack.sh); its control fields name the Debian
# runtime packages it needs, it holds a complete desktop install under /usr,
# apt could install it here, and the unpacked binary starts on the system's Qt.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
out=$1 version=$2 has_cli=$3
for tool in dpkg-deb dpkg; do
    command -v $tool >/dev/null || skip "$tool is not installed"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

deb=$out/kestrin_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { fail "no $(basename "$deb"); cpack wrote: $(ls "$out")"; finish; }
dpkg-deb --info "$deb"

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == kestrin ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', expected $version"
[[ $(field Section) == graphics ]] || fail "Section is '$(field Section)'"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
depends=$(field Depends)
# Package names only: drop version constraints and alternatives after the first.
mapfile -t names < <(tr ',' '\n' <<<"$depends" | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep -v '^$')
for needed in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins qt6-image-formats-plugins fonts-urw-base35; do
    printf '%s\n' "${names[@]}" | grep -qx "$needed" || fail "Depends lacks $needed: $depends"
done
# Every dependency must be a real Debian package: a misspelt name makes apt refuse the .deb.
for name in "${names[@]}"; do
    dpkg-query -W "$name" >/dev/null 2>&1 || apt-cache show "$name" >/dev/null 2>&1 ||
        fail "Depends names $name, which no Debian package list here knows"
done

dpkg-deb --contents "$deb" >"$tmp/contents"
grep -q ' \./usr/bin/kestrin$' "$tmp/contents" || fail "the .deb has no ./usr/bin/kestrin"
dpkg -x "$deb" "$tmp/root"
check_tree "$tmp/root/usr" "$has_cli"

# The unpacked binary runs on the system's Qt alone: every library resolves,
# and the window starts and keeps running until timeout stops it (status 124).
if missing=$(ldd "$tmp/root/usr/bin/kestrin" | grep 'not found'); then
    fail "kestrin misses libraries: $missing"
fi
status=0
(cd "$tmp" && QT_QPA_PLATFORM=offscreen timeout 3 "$tmp/root/usr/bin/kestrin") >"$tmp/run.log" 2>&1 || status=$?
[[ $status == 124 ]] || { cat "$tmp/run.log" >&2; fail "installed kestrin exited with $status instead of running until stopped"; }
[[ $has_cli == ON ]] && check_cli_version "$tmp/root/usr" "$version"

# apt resolves the package's dependencies against this system (a dry run: nothing is installed).
if command -v apt-get >/dev/null; then
    if ! out=$(apt-get --simulate --no-install-recommends -o Debug::NoLocking=1 install "$deb" 2>&1) ||
        ! grep -qE '^Inst kestrin |kestrin is already the newest' <<<"$out"; then
        fail "apt-get --simulate install $(basename "$deb"):"$'\n'"$out"
    fi
fi
finish
