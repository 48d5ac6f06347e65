#!/usr/bin/env bash
# Idle cost: CPU time the program uses over SECONDS (default 30) with its window open and both
# clocks running, and its resident memory, under Xvfb; with a point of the window (client
# pixels), the same with the pointer resting there (60 210: on the server selector).
#   bench/window/idle.sh BUILD_DIR [SECONDS [X Y]]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
seconds=${2:-30}
e2e_bench_start "$build"
e2e_start_app
e2e_wait_window
if [ $# -ge 4 ]; then
    xdotool mousemove --window "$e2e_wid" "$3" "$4"
fi
sleep 2 # past the start-up's own work

# Time on a CPU in nanoseconds, summed over the program's threads (schedstat is exact where
# utime + stime are sampled at the clock tick).
cpu_ns() { cat /proc/"$e2e_app_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%d", ns}'; }
# Wake-ups: the times the program's threads went to sleep of their own accord.
wakeups() { cat /proc/"$e2e_app_pid"/task/*/status | awk '/^voluntary_ctxt_switches:/ {n += $2} END {print n}'; }
before=$(cpu_ns)
woken=$(wakeups)
sleep "$seconds"
after=$(cpu_ns)
woken=$(( $(wakeups) - woken ))
rss=$(awk '/^VmRSS:/ {print $2, $3}' "/proc/$e2e_app_pid/status")
goal=0.30
awk -v ns=$((after - before)) -v s="$seconds" -v rss="$rss" -v goal="$goal" -v woken="$woken" 'BEGIN {
    share = 100 * ns / 1e9 / s
    printf "CPU %.3f s over %d s = %.3f%% of one core (goal: at most %.2f%%) %s; %.1f wake-ups/s; VmRSS %s\n",
        ns / 1e9, s, share, goal, share <= goal ? "met" : "NOT MET", woken / s, rss }'
