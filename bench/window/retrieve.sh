#!/usr/bin/env bash
# A retrieve in the window: from clicking "OK" until the log pane's last report line is written
# (seen in screenshots, so to within about a tenth of a second), and how much of that is the
# paced typing of 30 ms per character. Needs chronyd serving 127.0.0.1:123, so run as root.
#   bench/window/retrieve.sh BUILD_DIR [RUNS]
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
build=$(realpath "$1")
runs=${2:-3}
e2e_require "$build/app/horalink"
e2e_init "$(mktemp -d /tmp/horalink-bench.XXXXXX)"
trap 'e2e_cleanup; rm -rf "$E2E_OUT"' EXIT
e2e_install "$build/app/horalink"
e2e_start_xvfb
e2e_start_chronyd

# The pane gets the look-up line and the five report lines the console mode prints. Every
# character is typed after a 30 ms pause; the line breaks are not.
lookup="Looking up   --- 127.0.0.1 ---"
report=$(env -u DISPLAY "$E2E_PROGRAM" --console 127.0.0.1 N | tail -n 5)
characters=$(( $(printf '%s' "$report" | tr -d '\n' | wc -m) + ${#lookup} ))
typing_ms=$(( characters * 30 ))

e2e_start_app
e2e_wait_window
for run in $(seq "$runs"); do
    sleep 1
    start=$(date +%s%N)
    e2e_click $((165 + 20)) $((200 + 11))
    # Shoot until the pane has shown the same six lines for a second; the end is the time of
    # the first shot of that still stretch.
    last_change=$start
    e2e_shot previous
    while :; do
        e2e_shot current
        now=$(date +%s%N)
        if ! e2e_log_same current previous; then
            last_change=$now
            mv "$E2E_OUT/current.ppm" "$E2E_OUT/previous.ppm"
        elif (( now - last_change > 1000000000 )) && [ "$(e2e_log_bands current)" -eq 6 ]; then
            break
        fi
        (( now - start < 30000000000 )) || e2e_fail "no complete report within 30 s"
    done
    total_ms=$(( (last_change - start) / 1000000 ))
    echo "run $run: OK to last line $total_ms ms; typing $characters characters x 30 ms = $typing_ms ms" \
        "($(( 100 * typing_ms / total_ms ))%); the rest $(( total_ms - typing_ms )) ms"
done
