#!/bin/sh
# Starts a persistent wineserver for a Wine prefix (created when new, see scripts/wine-prefix)
# and the keeper that holds Wine's helper processes up for the whole run.
# Usage: wine-start.sh PREFIX WINE WINESERVER [KEEPER.exe]
prefix=$1 wine=$2 server=$3 keeper=$4
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# A server left over from an earlier run may lack this run's X display: start afresh.
"$server" -k </dev/null >/dev/null 2>&1
"$server" -w </dev/null >/dev/null 2>&1
sh "$(dirname "$0")/../scripts/wine-prefix" "$prefix" || exit 1
"$server" -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1
if [ -n "$keeper" ]; then
    setsid "$wine" "$keeper" </dev/null >/dev/null 2>&1 &
    # the keeper's first COM call starts rpcss; give it a moment before the first test
    sleep 2
fi
exit 0
