#!/usr/bin/env bash
# Start-up as people see it: from starting a program until its first complete frame, under Xvfb,
# timed by an X client that wakes only on X Damage reports (BUILD/bench/window/first_frame) and
# compares each frame with the settled one, Horalink's clocks left out. Starts a bare frameless
# 270 x 240 window holding a line edit and a combo box (bare_window editcombo) and Horalink
# alternately, RUNS times each (default 20), and prints the medians of wall and processor time
# and Horalink's ratios to the bare window beside the goals.
#   bench/window/first_frame.sh BUILD_DIR [RUNS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
runs=${2:-20}
settle_ms=1500
wall_goal=1.20
cpu_goal=1.30
bare=$build/bench/window/bare_window
timer=$build/bench/window/first_frame
[ -x "$bare" ] || e2e_skip "$bare is not built yet"
[ -x "$timer" ] || e2e_skip "$timer is not built yet (needs libxcb-damage0-dev)"
e2e_bench_start "$build"
# A desktop session has its bus: without one, Qt's accessibility bridge would have libdbus
# start a bus (dbus-launch) on the first start and look for it on every later one.
command -v dbus-daemon >/dev/null || e2e_skip "dbus-daemon is not installed"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile | tr '\n' ' ')
read -r DBUS_SESSION_BUS_ADDRESS bus_pid <<<"$bus"
export DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb
e2e_pids+=("$bus_pid")

# The analogue and the digital clock change on their own (res/SkinLayout.h).
clocks=(--ignore 27,34,45,45 --ignore 104,36,144,42)
# One start of the program first writes its clock font beside it; it is not counted.
"$timer" "$settle_ms" "${clocks[@]}" -- "$E2E_PROGRAM" >/dev/null || true
bare_wall=() bare_cpu=() horalink_wall=() horalink_cpu=()
for _ in $(seq "$runs"); do
    read -r wall cpu < <("$timer" "$settle_ms" -- "$bare" editcombo)
    bare_wall+=("$wall") bare_cpu+=("$cpu")
    read -r wall cpu < <("$timer" "$settle_ms" "${clocks[@]}" -- "$E2E_PROGRAM")
    horalink_wall+=("$wall") horalink_cpu+=("$cpu")
done
echo "bare line edit and combo box, wall ms: ${bare_wall[*]}"
echo "bare line edit and combo box, CPU ms:  ${bare_cpu[*]}"
echo "Horalink, wall ms:                     ${horalink_wall[*]}"
echo "Horalink, CPU ms:                      ${horalink_cpu[*]}"
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2}'; }
awk -v bw="$(median "${bare_wall[@]}")" -v bc="$(median "${bare_cpu[@]}")" \
    -v hw="$(median "${horalink_wall[@]}")" -v hc="$(median "${horalink_cpu[@]}")" \
    -v wg="$wall_goal" -v cg="$cpu_goal" 'BEGIN {
    printf "median wall: bare %.1f ms, Horalink %.1f ms, ratio %.2f (goal: at most %.2f) %s\n",
        bw, hw, hw / bw, wg, hw / bw <= wg ? "met" : "NOT MET"
    printf "median CPU:  bare %.1f ms, Horalink %.1f ms, ratio %.2f (goal: at most %.2f) %s\n",
        bc, hc, hc / bc, cg, hc / bc <= cg ? "met" : "NOT MET" }'
