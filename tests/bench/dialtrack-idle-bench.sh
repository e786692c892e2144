#!/bin/bash
# Idle cost of the dial-up plug-in: CPU time of watchpost.exe with dialtrack.dll loaded and no
# dial-up connection (the plug-in wakes once a second), side by side with watchpost.exe without
# any plug-in and a Wine process that only sleeps, each over the same period, read from the
# kernel's process accounting.
# Usage: dialtrack-idle-bench.sh BUILD_DIR [seconds]   (inside an X display, with WINEPREFIX set)
set -euo pipefail
bin=$1/bin
seconds=${2:-60}
ticks=$(getconf CLK_TCK)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/alone" "$work/dialtrack"
cp "$bin/watchpost.exe" "$work/alone/"
cp "$bin/watchpost.exe" "$bin/dialtrack.dll" "$work/dialtrack/"

cpu() { # utime + stime of a process, in clock ticks
    awk '{print $14 + $15}' "/proc/$1/stat"
}

# CPU ticks of a watchpost.exe started in the folder, over the period (one monitor at a time:
# the monitor is single-instance).
measure() {
    (cd "$1" && /usr/lib/wine/wine64 ./watchpost.exe /debug:0 >/dev/null 2>&1 &)
    sleep 6 # start-up is not idle time
    local pid
    pid=$(pgrep -f '^[^ ]*watchpost\.exe' | head -n 1)
    local c0 c1
    c0=$(cpu "$pid")
    sleep "$seconds"
    c1=$(cpu "$pid")
    kill "$pid" 2>/dev/null || true
    sleep 2
    echo $((c1 - c0))
}

/usr/lib/wine/wine64 "$bin/winekeep.exe" >/dev/null 2>&1 &
sleep 2
sleeper=$(pgrep -f '^[^ ]*winekeep\.exe' | tail -n 1)
s0=$(cpu "$sleeper")
with=$(measure "$work/dialtrack" 2>/dev/null)
without=$(measure "$work/alone" 2>/dev/null)
s1=$(cpu "$sleeper")
kill "$sleeper" 2>/dev/null || true

echo "dialtrack idle cost over $seconds s (no dial-up connection)"
awk -v a="$with" -v b="$without" -v s=$((s1 - s0)) -v t="$ticks" -v d="$seconds" 'BEGIN {
    printf "  watchpost.exe with dialtrack.dll   : %6.2f s (%.2f %% of a core)\n", a / t, a / t * 100 / d
    printf "  reference: watchpost.exe alone     : %6.2f s (%.2f %% of a core)\n", b / t, b / t * 100 / d
    printf "  reference: sleeping process (2 periods): %6.2f s\n", s / t
}'
