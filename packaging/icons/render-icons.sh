#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG. The PNGs are
# committed next to this script, so building needs no SVG renderer; run this
# again (needs rsvg-convert, Debian package librsvg2-bin) after editing the SVG.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
name=io.github.kestrin.Kestrin
for size in 48 64 128 256; do
    mkdir -p "$here/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "$here/${size}x${size}/$name.png" "$here/$name.svg"
done
