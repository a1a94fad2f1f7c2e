#!/usr/bin/env bash
# The .deb packages as CPack built them into OUT (cpack.sh): kestrin-art (the
# command line: its binary, manual page and documents, and no dependency on
# Qt Widgets, the platform plugins or fonts) and kestrin (the window and its
# desktop integration, depending on kestrin-art of the same version and
# holding none of its files). Together they are a complete desktop install
# under /usr, apt could install them here, and the unpacked binaries start on
# the system's Qt.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
out=$1 version=$2 has_cli=$3
for tool in dpkg-deb dpkg; do
    command -v $tool >/dev/null || skip "$tool is not installed"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

arch=$(dpkg --print-architecture)
app=$out/kestrin_${version}_$arch.deb cli=$out/kestrin-art_${version}_$arch.deb
debs=("$app")
[[ $has_cli == ON ]] && debs+=("$cli")
for deb in "${debs[@]}"; do
    [[ -f $deb ]] || { fail "no $(basename "$deb"); cpack wrote: $(ls "$out")"; finish; }
done
[[ $has_cli != ON && -e $cli ]] && fail "a kestrin-art package, although this tree builds no kestrin-art"

# dependency_names DEB: the package names in Depends, one a line (version
# constraints and alternatives after the first dropped).
dependency_names() {
    dpkg-deb --field "$1" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep -v '^$'
}
# files DEB: the regular files and links in DEB, as absolute paths.
files() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort; }

for deb in "${debs[@]}"; do
    dpkg-deb --info "$deb"
    field() { dpkg-deb --field "$deb" "$1"; }
    name=$(basename "$deb"); name=${name%%_*}
    [[ $(field Package) == "$name" ]] || fail "$(basename "$deb"): Package is '$(field Package)'"
    [[ $(field Version) == "$version" ]] || fail "$name: Version is '$(field Version)', expected $version"
    [[ $(field Source) == kestrin ]] || fail "$name: Source is '$(field Source)', expected kestrin"
    [[ $(field Section) == graphics ]] || fail "$name: Section is '$(field Section)'"
    [[ -n $(field Maintainer) ]] || fail "$name: no Maintainer"
    # Every dependency must be a real Debian package: a misspelt name makes apt refuse the .deb.
    while read -r dependency; do
        [[ $dependency == kestrin-art ]] && continue
        dpkg-query -W "$dependency" >/dev/null 2>&1 || apt-cache show "$dependency" >/dev/null 2>&1 ||
            fail "$name: Depends names $dependency, which no Debian package list here knows"
    done < <(dependency_names "$deb")
done

# Which files go where, and what each package needs.
# expect_depends DEB NAME...: each NAME is among DEB's dependencies.
expect_depends() {
    local deb=$1 needed
    shift
    for needed in "$@"; do
        dependency_names "$deb" | grep -qx "$needed" || fail "$(basename "$deb"): Depends lacks $needed"
    done
}
# refuse_depends DEB NAME...: no NAME is among DEB's dependencies.
refuse_depends() {
    local deb=$1 refused
    shift
    for refused in "$@"; do
        if dependency_names "$deb" | grep -qx "$refused"; then fail "$(basename "$deb"): depends on $refused"; fi
    done
}
expect_depends "$app" libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins qt6-image-formats-plugins fonts-urw-base35 \
    libjpeg62-turbo libtiff6 libwebp7 libwebpdemux2
files "$app" >"$tmp/app.files"
grep -qx /usr/bin/kestrin "$tmp/app.files" || fail "kestrin's package has no /usr/bin/kestrin"
if [[ $has_cli == ON ]]; then
    expect_depends "$cli" libqt6core6 libqt6gui6 qt6-image-formats-plugins libjpeg62-turbo libtiff6 libwebp7 libwebpdemux2
    refuse_depends "$cli" libqt6widgets6 qt6-qpa-plugins fonts-urw-base35 fonts-dejavu-core kestrin
    expect_depends "$app" kestrin-art
    dpkg-deb --field "$app" Depends | grep -qF "kestrin-art (= $version)" ||
        fail "kestrin depends on another version of kestrin-art: $(dpkg-deb --field "$app" Depends)"
    files "$cli" >"$tmp/cli.files"
    expected=(/usr/bin/kestrin-art /usr/lib/kestrin/art/libkestrin-art-build.so /usr/lib/kestrin/art/libkestrin-art.so
              /usr/share/doc/kestrin-art/changelog.gz
              /usr/share/doc/kestrin-art/copyright /usr/share/man/man1/kestrin-art.1.gz)
    diff <(printf '%s\n' "${expected[@]}") "$tmp/cli.files" >"$tmp/cli.diff" ||
        fail "kestrin-art's package holds other files than its binary, its program modules, page and documents:"$'\n'"$(cat "$tmp/cli.diff")"
    if shared=$(comm -12 "$tmp/app.files" "$tmp/cli.files") && [[ -n $shared ]]; then
        fail "files in both packages: $shared"
    fi
fi

for deb in "${debs[@]}"; do dpkg -x "$deb" "$tmp/root"; done
check_tree "$tmp/root/usr" "$has_cli"

# The unpacked binaries run on the system's Qt alone: every library resolves,
# kestrin-art links no Qt Widgets, and the window starts and keeps running
# until timeout stops it (status 124).
if missing=$(ldd "$tmp/root/usr/bin/kestrin" | grep 'not found'); then
    fail "kestrin misses libraries: $missing"
fi
if [[ $has_cli == ON ]]; then
    for program in "$tmp/root/usr/bin/kestrin-art" "$tmp/root/usr/lib/kestrin/art/libkestrin-art.so"; do
        if links=$(ldd "$program" | grep -E 'not found|libQt6Widgets'); then
            fail "$(basename "$program") misses libraries or links Qt Widgets: $links"
        fi
    done
    # The build program links no Qt GUI: that is what it is for.
    if links=$(ldd "$tmp/root/usr/lib/kestrin/art/libkestrin-art-build.so" | grep -E 'not found|libQt6Gui|libQt6Widgets'); then
        fail "libkestrin-art-build.so misses libraries or links Qt GUI: $links"
    fi
    # The executable finds its program module where the package puts it.
    help=$("$tmp/root/usr/bin/kestrin-art" --help 2>&1) && grep -q '^Usage: kestrin-art' <<<"$help" ||
        fail "installed kestrin-art --help: $help"
    # A set of BMP frames: the build program hands them to the full program's
    # readers, which it finds where the package puts them.
    examples=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../examples" && pwd)
    built=$("$tmp/root/usr/bin/kestrin-art" build "$examples/walker" -q -o "$tmp/walker.art" 2>&1) ||
        fail "installed kestrin-art cannot build the BMP frames of examples/walker: $built"
fi
status=0
(cd "$tmp" && QT_QPA_PLATFORM=offscreen timeout 3 "$tmp/root/usr/bin/kestrin") >"$tmp/run.log" 2>&1 || status=$?
[[ $status == 124 ]] || { cat "$tmp/run.log" >&2; fail "installed kestrin exited with $status instead of running until stopped"; }
[[ $has_cli == ON ]] && check_cli_version "$tmp/root/usr" "$version"

# apt resolves the packages' dependencies against this system (a dry run:
# nothing is installed): kestrin-art alone, and both together.
# simulate NAME DEB...: apt would install DEB..., NAME among them.
simulate() {
    local name=$1 out
    shift
    if ! out=$(apt-get --simulate --no-install-recommends -o Debug::NoLocking=1 install "$@" 2>&1) ||
        ! grep -qE "^Inst $name |$name is already the newest" <<<"$out"; then
        fail "apt-get --simulate install ${*##*/}:"$'\n'"$out"
    fi
}
if command -v apt-get >/dev/null; then
    [[ $has_cli == ON ]] && simulate kestrin-art "$cli"
    simulate kestrin "${debs[@]}"
fi
finish
