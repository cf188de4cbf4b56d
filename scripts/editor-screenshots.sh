#!/usr/bin/env bash
# Pictures of the recipe editor, the table builder, the field builder and the
# preview window, for a person to look at: builds what is needed, then writes
# build/screenshots/*.png under a virtual X server (xvfb-run), or on Qt's
# offscreen platform when there is none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/setup.sh"
vok_install_packages
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target editor_screenshots -j 2 >&2
mkdir -p "$root/build/screenshots"
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb VOK_SCREENSHOTS="$root/build/screenshots" \
        xvfb-run -a -s "-screen 0 1600x1200x24" "$root/build/editor_screenshots"
    # Where the preview opens on a common screen and on a small one.
    for size in 1280x1024 800x600; do
        QT_QPA_PLATFORM=xcb VOK_SCREENSHOTS="$root/build/screenshots" \
            xvfb-run -a -s "-screen 0 ${size}x24" "$root/build/editor_screenshots" \
            previewBesideTheEditor
    done
else
    QT_QPA_PLATFORM=offscreen VOK_SCREENSHOTS="$root/build/screenshots" \
        "$root/build/editor_screenshots"
fi
ls "$root/build/screenshots"/*.png
