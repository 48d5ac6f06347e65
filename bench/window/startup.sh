#!/usr/bin/env bash
# Start-up time: from starting a program until its window is mapped, under Xvfb. Starts a bare
# frameless 270 x 240 QLabel program (BUILD/bench/window/bare_window), the same with a line edit
# in place of the label (bare_window edit) and Horalink alternately, RUNS times each (default 10),
# and prints the medians and Horalink's ratio to the label beside the goal; its ratio to the line
# edit is printed for reference: that window reads the font configuration and loads a face before
# it is mapped, as Horalink must, and the empty label does neither.
#   bench/window/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
runs=${2:-10}
goal=1.25
bare=$build/bench/window/bare_window
[ -x "$bare" ] || e2e_skip "$bare is not built yet"
e2e_bench_start "$build"
# A desktop session has its bus: without one, Qt's accessibility bridge would have libdbus
# start a bus (dbus-launch) on the first start and look for it on every later one.
command -v dbus-daemon >/dev/null || e2e_skip "dbus-daemon is not installed"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile | tr '\n' ' ')
read -r DBUS_SESSION_BUS_ADDRESS bus_pid <<<"$bus"
export DBUS_SESSION_BUS_ADDRESS
e2e_pids+=("$bus_pid")

# The server's map notifications, read as they come: the moment a window is mapped is seen
# without polling, and no poller competes with the program for the processor.
command -v xev >/dev/null || e2e_skip "xev is not installed (x11-utils)"
mkfifo "$E2E_OUT/maps"
xev -root -event substructure >"$E2E_OUT/maps" 2>&1 &
e2e_pids+=($!)
exec 4<"$E2E_OUT/maps"

# Milliseconds from the start of PROGRAM until a window is mapped (one program runs at a time).
time_start() {
    local start line
    start=$EPOCHREALTIME
    QT_QPA_PLATFORM=xcb "$@" >>"$E2E_OUT/horalink.log" 2>&1 &
    e2e_app_pid=$!
    until read -r -t 0.2 line <&4 && [[ $line == MapNotify* ]]; do
        kill -0 "$e2e_app_pid" 2>/dev/null || e2e_fail "$1 ended before showing its window: $(tail -n 8 "$E2E_OUT/horalink.log")"
    done
    local end=$EPOCHREALTIME
    echo $(( (${end/./} - ${start/./}) / 1000 ))
    kill -TERM "$e2e_app_pid"
    wait "$e2e_app_pid" 2>/dev/null || true
}

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2}'; }

# One start of the program first writes its clock font beside it; it is not counted.
time_start "$E2E_PROGRAM" >/dev/null
bare_ms=() edit_ms=() horalink_ms=()
for _ in $(seq "$runs"); do
    bare_ms+=("$(time_start "$bare")")
    edit_ms+=("$(time_start "$bare" edit)")
    horalink_ms+=("$(time_start "$E2E_PROGRAM")")
done
echo "bare QLabel window, ms:    ${bare_ms[*]}"
echo "bare QLineEdit window, ms: ${edit_ms[*]}"
echo "Horalink, ms:              ${horalink_ms[*]}"
bare_median=$(median "${bare_ms[@]}")
edit_median=$(median "${edit_ms[@]}")
horalink_median=$(median "${horalink_ms[@]}")
awk -v b="$bare_median" -v e="$edit_median" -v h="$horalink_median" -v goal="$goal" 'BEGIN {
    ratio = h / b
    printf "median: bare %.1f ms, Horalink %.1f ms, ratio %.2f (goal: at most %.2f) %s\n",
        b, h, ratio, goal, ratio <= goal ? "met" : "NOT MET"
    printf "for reference: bare line edit %.1f ms, ratio of Horalink to it %.2f\n", e, h / e }'
