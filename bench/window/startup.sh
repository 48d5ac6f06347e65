#!/usr/bin/env bash
# Start-up time: from starting the program until its window is mapped, under Xvfb; the median
# and the spread of RUNS starts (default 10).
#   bench/window/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
runs=${2:-10}
e2e_bench_start "$build"

times=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    e2e_start_app
    until e2e_find_window; do
        kill -0 "$e2e_app_pid" 2>/dev/null || e2e_fail "the program ended before showing its window"
        sleep 0.002
    done
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
    kill -TERM "$e2e_app_pid"
    wait "$e2e_app_pid" 2>/dev/null || true
done
mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
echo "start-up to mapped window, ms: ${times[*]}"
echo "median $(( (sorted[(runs - 1) / 2] + sorted[runs / 2]) / 2 )) ms, min ${sorted[0]}, max ${sorted[runs - 1]}"
