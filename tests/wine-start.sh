#!/bin/sh
# Starts a persistent wineserver for a Wine prefix, creates the prefix when it is new, and
# starts the keeper that holds Wine's helper processes up for the whole run.
# Usage: wine-start.sh PREFIX WINE WINESERVER [KEEPER.exe]
#
# New prefixes get a virtual desktop: without a window manager (Xvfb), Wine waits two seconds
# on every top-level window it unmaps; inside a virtual desktop it does not, and windows get
# their frames.
prefix=$1 wine=$2 server=$3 keeper=$4
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
mkdir -p "$prefix"
# A server left over from an earlier run may lack this run's X display: start afresh.
"$server" -k </dev/null >/dev/null 2>&1
"$server" -w </dev/null >/dev/null 2>&1
if [ ! -f "$prefix/.velmora-ready" ]; then
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1000 /f \
        </dev/null >/dev/null 2>&1
    "$server" -k </dev/null >/dev/null 2>&1
    "$server" -w </dev/null >/dev/null 2>&1
    test -d "$prefix/drive_c/windows/system32" || exit 1
    touch "$prefix/.velmora-ready"
fi
"$server" -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1
if [ -n "$keeper" ]; then
    setsid "$wine" "$keeper" </dev/null >/dev/null 2>&1 &
    # the keeper's first COM call starts rpcss; give it a moment before the first test
    sleep 2
fi
exit 0
