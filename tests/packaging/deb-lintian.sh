#!/usr/bin/env bash
# The .deb packages (kestrin, kestrin-art) and their -dbgsym packages, as
# CPack built them into OUT (cpack.sh), pass lintian without an error or
# warning; the packaged binaries are hardened and stripped, their debug
# information (in build types that make it; the last argument says whether
# this one does) in the -dbgsym packages under their build IDs; the manual
# pages, changelogs and copyright files are what Debian expects, and
# kestrin-art's page describes every command and option that the packaged
# program has.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
out=$1 version=$2 has_cli=$3 has_debug_info=$4
for tool in dpkg-deb lintian readelf man; do
    command -v $tool >/dev/null || skip "$tool is not installed"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

arch=$(dpkg --print-architecture)
names=(kestrin)
[[ $has_cli == ON ]] && names+=(kestrin-art)
debs=() ddebs=()
for name in "${names[@]}"; do
    debs+=("$out/${name}_${version}_$arch.deb")
    ddebs+=("$out/$name-dbgsym_${version}_$arch.ddeb")
done
packages=("${debs[@]}")
[[ $has_debug_info == ON ]] && packages+=("${ddebs[@]}")
for f in "${packages[@]}"; do
    [[ -f $f ]] || { fail "no $(basename "$f"); cpack wrote: $(ls "$out")"; finish; }
done
if [[ $has_debug_info == OFF ]]; then
    for f in "${ddebs[@]}"; do
        if [[ -e $f ]]; then fail "$(basename "$f"), although this build type makes no debug information"; fi
    done
fi

# Errors and warnings fail. Info and pedantic notes are shown; of those, the
# ones about hardening and stripping fail too.
status=0
lintian --fail-on error,warning --display-info --pedantic "${packages[@]}" >"$tmp/lintian.log" 2>&1 || status=$?
echo "lintian (status $status):"
cat "$tmp/lintian.log"
((status == 0)) || fail "lintian reports errors or warnings (or failed)"
grep -E '^[A-Z]: .*(hardening-|binary-has-unneeded-section|unstripped-binary)' "$tmp/lintian.log" &&
    fail "lintian notes binaries that are not hardened or not fully stripped"

# One tree of the binary packages, one of the debug packages.
for f in "${debs[@]}"; do dpkg-deb -x "$f" "$tmp/root"; done
if [[ $has_debug_info == ON ]]; then
    for f in "${ddebs[@]}"; do dpkg-deb -x "$f" "$tmp/dbgsym"; done
fi
binaries=(kestrin)
[[ $has_cli == ON ]] && binaries+=(kestrin-art)
for name in "${binaries[@]}"; do
    bin=$tmp/root/usr/bin/$name
    sections=$(readelf -S -W "$bin")
    for section in .symtab .debug_info .comment .note; do
        grep -qF " $section " <<<"$sections" && fail "the packaged $name still has a $section section"
    done
    # lintian checks PIE, RELRO, BIND_NOW and fortified calls, but not this.
    symbols=$(readelf --dyn-syms -W "$bin")
    grep -qF ' __stack_chk_fail@' <<<"$symbols" ||
        fail "$name is built without a stack protector (never calls __stack_chk_fail)"

    [[ $has_debug_info == ON ]] || continue
    grep -qF ' .gnu_debuglink ' <<<"$sections" || fail "the packaged $name does not name its debug file"
    id=$(readelf -n "$bin" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
    debug=$tmp/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
    if [[ -z $id ]]; then
        fail "$name has no build ID"
    elif [[ ! -f $debug ]]; then
        fail "the -dbgsym package has no debug file for $name (build ID $id)"
    else
        sections=$(readelf -S -W "$debug" 2>/dev/null) # it has no program interpreter to show
        for section in .symtab .debug_info; do
            grep -qF " $section " <<<"$sections" || fail "the debug file of $name has no $section section"
        done
    fi
done

# Manual pages as man shows them (plain text when not on a terminal).
man_text() { MANWIDTH=200 man --local-file "$1"; }
man1=$tmp/root/usr/share/man/man1
page=$(man_text "$man1/kestrin.1.gz")
grep -qF "kestrin $version" <<<"${page##*$'\n'}" ||
    fail "kestrin(1) does not name version $version"
if [[ $has_cli == ON ]]; then
    art=$tmp/root/usr/bin/kestrin-art
    page=$(man_text "$man1/kestrin-art.1.gz")
    overview=$("$art" --help)
    commands=$(awk '/^Commands:/ { listing = 1; next } listing && NF == 0 { exit } listing { print $1 }' <<<"$overview")
    [[ -n $commands ]] || fail "kestrin-art --help lists no commands"
    for command in $commands; do
        # The command's subsection: from its heading (indented 3) to the next heading.
        section=$(awk -v heading="   $command" '$0 == heading { inside = 1; next }
                                               inside && /^ ? ? ?[^ ]/ { exit }
                                               inside' <<<"$page")
        [[ -n $section ]] || { fail "kestrin-art(1) has no subsection for '$command'"; continue; }
        help=$("$art" "$command" --help)
        for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
            grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$section" ||
                fail "kestrin-art(1) does not describe '$command $option'"
        done
    done
fi

# Each package's changelog's latest entry is this release: same version, same
# date as the metainfo's release; each has the machine-readable copyright file.
for name in "${names[@]}"; do
    changelog=$tmp/root/usr/share/doc/$name/changelog.gz
    if command -v dpkg-parsechangelog >/dev/null; then
        zcat "$changelog" >"$tmp/changelog"
        [[ $(dpkg-parsechangelog -l "$tmp/changelog" -S Version) == "$version" ]] ||
            fail "$name: the changelog's latest entry is not version $version"
        logged=$(date -u -d "$(dpkg-parsechangelog -l "$tmp/changelog" -S Date)" +%F)
        released=$(sed -n 's/.*<release [^>]*date="\([^"]*\)".*/\1/p' "$tmp/root/usr/share/metainfo/$app_id.metainfo.xml")
        [[ $logged == "$released" ]] || fail "$name: the changelog dates the release $logged, the metainfo $released"
    fi

    copyright=$tmp/root/usr/share/doc/$name/copyright
    head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$name: copyright does not start with the machine-readable format line"
    for field in 'Files: \*' 'Copyright: .+' 'License: [A-Za-z].*'; do
        grep -qxE "$field" "$copyright" || fail "$name's copyright has no '$field' field"
    done
done
finish
