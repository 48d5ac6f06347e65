#!/usr/bin/env bash
# A retrieve in the window: from clicking "OK" until the log pane's last report line is written
# (seen in screenshots, so to within about a tenth of a second), and how much of that is the
# paced typing of 30 ms per character. Needs chronyd serving port 123, so run as root.
#   bench/window/retrieve.sh BUILD_DIR [RUNS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
runs=${2:-3}
e2e_bench_start "$build"
e2e_start_chronyd

# The pane gets the look-up line and the five report lines the console mode prints. Every
# character is typed after a 30 ms pause; the line breaks are not.
lookup="Looking up   --- $E2E_ADDRESS ---"
report=$(env -u DISPLAY "$E2E_PROGRAM" --console "$E2E_ADDRESS" N | tail -n 5)
characters=$(( $(printf '%s' "$report" | tr -d '\n' | wc -m) + ${#lookup} ))
typing_ms=$(( characters * 30 ))

# Shots of the log pane alone (client 23, 91, 221 x 94) keep a round of the loop short.
pane_shot() { import -window root -crop "221x94+$((WX + 23))+$((WY + 91))" -depth 8 "$E2E_OUT/$1.ppm"; }
pane_bands() { python3 "$E2E_SHOT" bands "$E2E_OUT/$1.ppm" 0 0 221 94; }

e2e_start_app
e2e_wait_window
for run in $(seq "$runs"); do
    sleep 1
    start=$(date +%s%N)
    e2e_click $((165 + 20)) $((200 + 11))
    # Shoot until the pane has shown the same report (five lines at least, see e2e_wait_report)
    # for a second; the end is the time of the first shot of that still stretch.
    last_change=$start
    shots=0
    pane_shot previous
    while :; do
        pane_shot current
        now=$(date +%s%N)
        shots=$((shots + 1))
        if ! cmp -s "$E2E_OUT/current.ppm" "$E2E_OUT/previous.ppm"; then
            last_change=$now
            mv "$E2E_OUT/current.ppm" "$E2E_OUT/previous.ppm"
        elif (( now - last_change > 1000000000 )) && [ "$(pane_bands current)" -ge 5 ]; then
            break
        fi
        (( now - start < 30000000000 )) || e2e_fail "no complete report within 30 s"
    done
    total_ms=$(( (last_change - start) / 1000000 ))
    echo "run $run: OK to last line $total_ms ms (a shot every $(( (now - start) / 1000000 / shots )) ms);" \
        "typing $characters characters x 30 ms = $typing_ms ms ($(( 100 * typing_ms / total_ms ))%);" \
        "the rest $(( total_ms - typing_ms )) ms"
done
