#!/usr/bin/env bash
# Idle cost: CPU time the program uses over SECONDS (default 30) with its window open and both
# clocks running, and its resident memory, under Xvfb.
#   bench/window/idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
seconds=${2:-30}
e2e_bench_start "$build"
e2e_start_app
e2e_wait_window
sleep 2 # past the start-up's own work

# Time on a CPU in nanoseconds, summed over the program's threads (schedstat is exact where
# utime + stime are sampled at the clock tick).
cpu_ns() { cat /proc/"$e2e_app_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%d", ns}'; }
before=$(cpu_ns)
sleep "$seconds"
after=$(cpu_ns)
rss=$(awk '/^VmRSS:/ {print $2, $3}' "/proc/$e2e_app_pid/status")
goal=0.30
awk -v ns=$((after - before)) -v s="$seconds" -v rss="$rss" -v goal="$goal" 'BEGIN {
    share = 100 * ns / 1e9 / s
    printf "CPU %.3f s over %d s = %.3f%% of one core (goal: at most %.2f%%) %s; VmRSS %s\n",
        ns / 1e9, s, share, goal, share <= goal ? "met" : "NOT MET", rss }'
