#!/usr/bin/env bash
# Pictures of the recipe editor, the table builder and the field builder, for
# a person to look at: builds what is needed, then writes build/screenshots/*.png
# without a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/setup.sh"
vok_install_packages
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target editor_ScreenshotTest -j 2 >&2
mkdir -p "$root/build/screenshots"
QT_QPA_PLATFORM=offscreen VOK_SCREENSHOTS="$root/build/screenshots" \
    "$root/build/editor_ScreenshotTest"
ls "$root/build/screenshots"/*.png
