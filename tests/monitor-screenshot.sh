#!/bin/bash
# Takes the screenshots of the monitor shown in the README: watchpost with the test plug-in
# that stands in for the powerline plug-in, the tray icon shown, on a virtual X display.
# Usage: monitor-screenshot.sh BUILD_DIR OUTPUT.png [--empty] [--dpi N]
#   --empty   without any plug-in: the window's text for when nothing is reported
#   --dpi N   the display scaled to N dots per inch (144 is 150 %)
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
shift 2
empty=no
dpi=96
while [ $# -gt 0 ]; do
    case $1 in
        --empty) empty=yes ;;
        --dpi) dpi=$2; shift ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keep=${KEEP_FULL:-}

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
sh "$top/scripts/wine-prefix" "$WINEPREFIX"
if [ "$dpi" != 96 ]; then
    /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        </dev/null >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
mkdir -p "$work/app"
cp "$build/bin/watchpost.exe" "$work/app/"
[ $empty = no ] && cp "$build/bin/testplugins/plexa.dll" "$work/app/"
# The window's size in pixels grows with the scaling, as the user would have made it.
scale() { echo $(( $1 * dpi / 96 )); }
printf '[DialogSettings]\r\nShowTrayStatus=1\r\nXPos=40\r\nYPos=30\r\nXSize=%d\r\nYSize=%d\r\n' \
    "$(scale 430)" "$(scale 290)" > "$work/app/watchpost.ini"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    /usr/lib/wine/wine64 "$1/app/watchpost.exe" >/dev/null 2>&1 &
    sleep 8
    import -window root "$1/full.png"
    /usr/lib/wine/wineserver -k
' _ "$work"
# the window in the top left corner and the notification area at the bottom right
width=$(( $(scale 430) + 70 )); height=$(( $(scale 290) + 110 ))
convert "$work/full.png" -crop "${width}x${height}+0+0" +repage "$work/window.png"
convert "$work/full.png" -crop 240x22+1040+978 +repage -scale 200% "$work/tray.png"
convert "$work/window.png" \( "$work/tray.png" -bordercolor '#808080' -border 1 \) -gravity southeast \
    -geometry +8+8 -composite "$out"
[ -n "$keep" ] && cp "$work/full.png" "$keep"
echo "screenshot: $out"
