#!/bin/bash
# Takes the pictures of the setup wizard in docs/: the suite's script from the ready-to-ship
# folder, every page of an installation and a removal, and the licence page in the classic
# style, in a Wine prefix of its own with a virtual desktop (frames) on a virtual X display.
# Usage: screenshots.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
sh "$top/scripts/wine-prefix" "$WINEPREFIX"
mkdir -p "$work/shots"
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/lib/wine/wine64 "$build/bin/setup_screens.exe" \
    "Z:${build//\//\\}\\ship" "Z:${work//\//\\}\\shots"
rm -f "$out"/setup-*.png
for shot in "$work"/shots/*.bmp; do
    name=$(basename "$shot" .bmp)
    convert "$shot" "$out/setup-$name.png"
done
ls "$out"/setup-*.png
