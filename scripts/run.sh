#!/usr/bin/env bash
# Installs what is missing, builds Kestrin and opens its window.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --parallel "$(nproc)" --target kestrin
exec "$root/build/src/app/kestrin" "$@"
