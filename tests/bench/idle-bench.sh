#!/bin/bash
# Idle cost of the monitor: CPU time of watchpost.exe (copperstick loaded, no modem) over a
# period, read from the kernel's process accounting, side by side with a Wine process that
# only sleeps and with the wineserver's share over the same period.
# Usage: idle-bench.sh BUILD_DIR [seconds]   (inside an X display, with WINEPREFIX set)
set -euo pipefail
bin=$1/bin
seconds=${2:-60}
ticks=$(getconf CLK_TCK)

cpu() { # utime + stime of a process, in clock ticks
    awk '{print $14 + $15}' "/proc/$1/stat"
}

/usr/lib/wine/wine64 "$bin/watchpost.exe" >/dev/null 2>&1 &
/usr/lib/wine/wine64 "$bin/winekeep.exe" >/dev/null 2>&1 &
sleep 6 # start-up is not idle time
monitor=$(pgrep -f '^[^ ]*watchpost\.exe' | head -n 1)
sleeper=$(pgrep -f '^[^ ]*winekeep\.exe' | tail -n 1)
server=$(pgrep -x wineserver64 || pgrep -f wineserver | head -n 1)
m0=$(cpu "$monitor") s0=$(cpu "$sleeper") w0=$(cpu "$server")
sleep "$seconds"
m1=$(cpu "$monitor") s1=$(cpu "$sleeper") w1=$(cpu "$server")

echo "monitor idle cost over $seconds s (copperstick loaded, no modem)"
awk -v m=$((m1 - m0)) -v s=$((s1 - s0)) -v w=$((w1 - w0)) -v t="$ticks" -v d="$seconds" 'BEGIN {
    printf "  watchpost.exe CPU time        : %6.2f s (%.2f %% of a core)\n", m / t, m / t * 100 / d
    printf "  reference: sleeping process   : %6.2f s\n", s / t
    printf "  wineserver, all clients       : %6.2f s\n", w / t
}'
kill "$monitor" "$sleeper" 2>/dev/null || true
