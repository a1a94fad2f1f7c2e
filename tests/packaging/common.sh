# Helpers shared by the packaging tests (sourced, not run).
app_id=io.github.kestrin.Kestrin
icon_sizes=(48 64 128 256)
failures=0

# fail MESSAGE: records a failure and goes on, so one run reports every fault.
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# skip MESSAGE: ends the test as skipped (CTest SKIP_RETURN_CODE 77).
skip() { echo "SKIP: $*"; exit 77; }

# finish: the exit status of the whole test.
finish() {
    if ((failures)); then echo "$failures check(s) failed" >&2; exit 1; fi
    echo "all checks passed"
}

# png_size FILE: prints "WIDTHxHEIGHT" from the PNG header (IHDR, bytes 16-23, big-endian).
png_size() {
    local b
    read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

# desktop_key FILE KEY: the value of KEY in the [Desktop Entry] group.
desktop_key() { sed -n "s/^$2=//p" "$1" | head -n1; }

# release_version FILE: the version of the first release in a metainfo file.
release_version() { sed -n 's/.*<release [^>]*version="\([^"]*\)".*/\1/p' "$1" | head -n1; }

# check_tree ROOT HAS_CLI: ROOT is an installed prefix (bin/, share/); checks
# that every file of a desktop install is there and that the files agree.
check_tree() {
    local root=$1 has_cli=$2 f size
    local files=(
        bin/kestrin
        share/applications/$app_id.desktop
        share/metainfo/$app_id.metainfo.xml
        share/icons/hicolor/scalable/apps/$app_id.svg
        share/man/man1/kestrin.1.gz
        share/doc/kestrin/copyright
        share/doc/kestrin/changelog.gz
    )
    for size in "${icon_sizes[@]}"; do files+=(share/icons/hicolor/${size}x${size}/apps/$app_id.png); done
    [[ $has_cli == ON ]] && files+=(bin/kestrin-art share/man/man1/kestrin-art.1.gz
                                    share/doc/kestrin-art/copyright share/doc/kestrin-art/changelog.gz)
    for f in "${files[@]}"; do [[ -f $root/$f ]] || fail "missing from the install: $f"; done
    for f in bin/kestrin bin/kestrin-art; do
        [[ -f $root/$f && ! -x $root/$f ]] && fail "not executable: $f"
    done
    [[ $has_cli != ON && -e $root/bin/kestrin-art ]] && fail "kestrin-art installed but not built in this tree"

    # Each PNG must have the size its theme folder promises, or docks scale it wrongly.
    for size in "${icon_sizes[@]}"; do
        f=$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png
        [[ -f $f ]] && [[ $(png_size "$f") != "${size}x${size}" ]] &&
            fail "$f is $(png_size "$f"), expected ${size}x${size}"
    done

    # The desktop entry must name an installed binary and an installed icon.
    local entry=$root/share/applications/$app_id.desktop
    if [[ -f $entry ]]; then
        local exec icon
        exec=$(desktop_key "$entry" Exec); exec=${exec%% *}
        [[ -x $root/bin/$exec ]] || fail "Exec=$exec is not an installed binary"
        icon=$(desktop_key "$entry" Icon)
        [[ -f $root/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "Icon=$icon has no installed SVG"
    fi

    # The metainfo must point at the installed desktop entry.
    local meta=$root/share/metainfo/$app_id.metainfo.xml
    if [[ -f $meta ]]; then
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$meta" ||
            fail "metainfo launchable is not $app_id.desktop"
        grep -q '<binary>kestrin</binary>' "$meta" || fail "metainfo does not provide the kestrin binary"
        if [[ $has_cli == ON ]]; then
            grep -q '<binary>kestrin-art</binary>' "$meta" || fail "metainfo does not provide kestrin-art"
        fi
    fi
}

# check_cli_version ROOT VERSION: the installed kestrin-art reports VERSION.
check_cli_version() {
    local out
    if ! out=$(QT_QPA_PLATFORM=offscreen timeout 20 "$1/bin/kestrin-art" --version 2>&1); then
        fail "kestrin-art --version failed: $out"
    elif ! grep -qw -- "$2" <<<"$out"; then
        fail "kestrin-art --version says '$out', expected version $2"
    fi
}

# build_deb BUILD OUT: runs CPack's DEB generator for the build folder BUILD
# into OUT; on failure shows its log, records the failure and ends the test.
# (cpack.sh does this once for every test that looks at the packages.)
build_deb() {
    if ! cpack --config "$1/CPackConfig.cmake" -G DEB -B "$2" >"$2.log" 2>&1; then
        cat "$2.log" >&2
        fail "cpack failed"
        finish
    fi
}
