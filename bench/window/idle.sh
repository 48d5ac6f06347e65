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
e2e_require "$build/app/horalink"
e2e_init "$(mktemp -d /tmp/horalink-bench.XXXXXX)"
trap 'e2e_cleanup; rm -rf "$E2E_OUT"' EXIT
e2e_install "$build/app/horalink"
e2e_start_xvfb
e2e_start_app
e2e_wait_window
sleep 2 # past the start-up's own work

# utime + stime, fields 14 and 15 of /proc/PID/stat, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$e2e_app_pid/stat"; }
before=$(cpu_ticks)
sleep "$seconds"
after=$(cpu_ticks)
hz=$(getconf CLK_TCK)
rss=$(awk '/^VmRSS:/ {print $2, $3}' "/proc/$e2e_app_pid/status")
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v rss="$rss" 'BEGIN {
    printf "CPU %.2f s over %d s = %.3f%% of one core; VmRSS %s\n", t / hz, s, 100 * t / hz / s, rss }'
