#!/usr/bin/env bash
# Takes pictures of the desktop program under a virtual X server, to look at:
# the main window at its default size and at its minimum size, and the
# options dialog on each of its tabs. Builds nothing: run it after a build.
#
#   scripts/screenshots.sh          pictures in build/screenshots/
#
# Needs xvfb, xdotool and imagemagick (scripts/setup.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out="$build/screenshots"
caption='^VOK Wizard - Document To CSV/XLS Conversion$'

[ -x "$build/vok" ] && [ -x "$build/vok-desktop" ] || {
    echo "screenshots: build vok first (build/vok and build/vok-desktop)" >&2
    exit 1
}
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out"

# A free display number, from :99 down.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display - 1))
done
export DISPLAY=":$display"
home=$(mktemp -d)
xvfb_pid=""
vok_pid=""
cleanup() {
    [ -n "$vok_pid" ] && kill "$vok_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# The picture of one window: the whole screen, cut to the window.
shoot() { # window-id file
    local geometry x y w h
    geometry=$(xdotool getwindowgeometry --shell "$1")
    x=$(sed -n 's/^X=//p' <<<"$geometry"); y=$(sed -n 's/^Y=//p' <<<"$geometry")
    w=$(sed -n 's/^WIDTH=//p' <<<"$geometry"); h=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    import -window root "$out/screen.png"
    convert "$out/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$out/$2"
    rm -f "$out/screen.png"
    echo "screenshots: $out/$2 (${w}x${h})"
}

# Starts the program with the given [frmMainMDI] placement and, when given,
# a recent input path; sets $window.
start() { # width height (twips) [input]
    printf '[General]\r\nUseRecipeFile=YES\r\n\r\n[frmMainMDI]\r\nLeft=300\r\nTop=300\r\nWidth=%s\r\nHeight=%s\r\n' \
        "$1" "$2" >"$home/config.ini"
    [ -n "${3:-}" ] && printf '[mruInputFile]\r\nmruInputFile20=%s\r\n' "$3" >>"$home/config.ini"
    VOK_HOME="$home" "$build/vok" >/dev/null 2>&1 &
    vok_pid=$!
    window=$(timeout 20 xdotool search --sync --name "$caption" | head -1)
    sleep 0.6 # the start-up window goes after 250 ms; then let everything paint
}
stop() {
    kill "$vok_pid" 2>/dev/null || true
    wait "$vok_pid" 2>/dev/null || true
    vok_pid=""
}

start 11000 7000
shoot "$window" main-default.png
# The Options button: third on the toolbar, under the menu bar.
eval "$(xdotool getwindowgeometry --shell "$window")"
options_x=${OPTIONS_X:-175}
options_y=${OPTIONS_Y:-42}
xdotool mousemove --window "$window" "$options_x" "$options_y" click 1
dialog=$(timeout 10 xdotool search --sync --name '^VOK Wizard Options$' | head -1) || {
    echo "screenshots: the options dialog did not open (set OPTIONS_X/OPTIONS_Y)" >&2
    exit 1
}
sleep 0.4
tabs=(general input-text-file output-excel-file)
for i in 0 1 2; do
    [ "$i" -gt 0 ] && { xdotool windowfocus --sync "$dialog" key ctrl+Tab; sleep 0.4; }
    shoot "$dialog" "options-$((i + 1))-${tabs[$i]}.png"
done
stop

start 6030 7000
shoot "$window" main-minimum.png
stop

# A folder pattern as input: the two check boxes show, the single-file buttons go.
start 6030 7000 '/data/reports\*.TXT'
shoot "$window" main-minimum-pattern.png
stop

# Smaller than the minimum in config.ini: the window keeps the minimum size.
start 5000 4000
shoot "$window" main-below-minimum.png
stop
