#!/bin/bash
# Takes the screenshot of the monitor shown in the README: watchpost with the test plug-in
# that stands in for the powerline plug-in, the tray icon shown, on a virtual X display.
# Usage: monitor-screenshot.sh BUILD_DIR OUTPUT.png
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keep=${KEEP_FULL:-}

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
sh "$top/scripts/wine-prefix" "$WINEPREFIX"
mkdir -p "$work/app"
cp "$build/bin/watchpost.exe" "$build/bin/testplugins/plexa.dll" "$work/app/"
printf '[DialogSettings]\r\nShowTrayStatus=1\r\nXPos=40\r\nYPos=30\r\nXSize=430\r\nYSize=290\r\n' > "$work/app/watchpost.ini"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    /usr/lib/wine/wine64 "$1/app/watchpost.exe" >/dev/null 2>&1 &
    sleep 8
    import -window root "$1/full.png"
    /usr/lib/wine/wineserver -k
' _ "$work"
# the window in the top left corner and the notification area at the bottom right
convert "$work/full.png" -crop 500x400+0+0 +repage "$work/window.png"
convert "$work/full.png" -crop 240x22+1040+978 +repage -scale 200% "$work/tray.png"
convert "$work/window.png" \( "$work/tray.png" -bordercolor '#808080' -border 1 \) -gravity southeast \
    -geometry +8+8 -composite "$out"
[ -n "$keep" ] && cp "$work/full.png" "$keep"
echo "screenshot: $out"
