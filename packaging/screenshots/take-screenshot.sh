#!/usr/bin/env bash
# Takes main-window.png from the real window: starts build/src/app/kestrin on
# a private Xvfb display, loads examples/walker, trims it and writes it as a
# user would, and captures the window. Run it again after changing the form
# or the font (needs Debian packages xvfb, xdotool and imagemagick).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
kestrin=${1:-$root/build/src/app/kestrin}
display=:$((90 + RANDOM % 100))
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
cp -r "$root/examples" "$work/"           # so the folder field can say examples/walker/
(cd "$work" && exec "$kestrin") >/dev/null 2>&1 &
pids+=($!)
window=
for _ in $(seq 50); do
    window=$(xdotool search --name '^Kestrin v' 2>/dev/null | head -1) && [[ -n $window ]] && break
    sleep 0.1
done
[[ -n $window ]] || { echo "the Kestrin window did not appear" >&2; exit 1; }

# Clicks at a point of the form (x, y in the central widget, which starts
# 38 px down in the window, below the menu bar and the empty tool bar).
click() { xdotool mousemove --window "$window" "$1" $(($2 + 38)) click 1; sleep 0.5; }
type_into() { click "$1" "$2"; xdotool key ctrl+a type "$3"; }

type_into 90 40 examples/walker/   # leSourceFolder
click 197 270                      # Update
click 215 70                       # Load
click 320 47                       # Stage 0: its frames and the preview appear
click 220 320                      # Apply: trim every frame
type_into 590 340 walker.art       # Target File
click 735 370                      # Start
xdotool key Return                 # "Generation successful!"
sleep 0.5
import -window "$window" "$work/shot.png"
convert "$work/shot.png" -strip "$here/main-window.png"
echo "$here/main-window.png"
