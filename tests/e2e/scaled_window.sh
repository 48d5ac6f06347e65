#!/usr/bin/env bash
# The window on scaled screens (QT_SCALE_FACTOR 1.25, 1.5 and 2) in a real X window (Xvfb),
# against chronyd on port 123 of this run's loopback address: the window covers the skin's
# 270 x 240 scaled, its rounded corners show the screen behind and its edges the skin.
#
#   scaled_window.sh BUILD_DIR OUT_DIR [--docs DOCS_DIR]
#
# With --docs, the window after its first report at each scale goes to
# DOCS_DIR/window-scale-SCALE.png, to be looked at. Exits 77 (skipped) when a tool is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
e2e_drop_clock_capability "$0" "$@"

build=$(realpath "$1")
out=$2
docs=
[ "${3:-}" != --docs ] || docs=$(realpath -m "$4")
e2e_require "$build/app/horalink"
rm -rf "$out"
e2e_init "$out"
e2e_install "$build/app/horalink"
e2e_start_xvfb
e2e_start_chronyd
e2e_shot background

for scale in 1.25 1.5 2; do
    echo "== scale $scale"
    QT_SCALE_FACTOR=$scale e2e_start_app "$E2E_ADDRESS" N
    e2e_wait_window
    # The checks need the first paint on the screen; the pictures, the report in the log pane.
    painted() {
        e2e_shot "scale-$scale" &&
            [ "$(e2e_pixel "scale-$scale" $((WX + 1)) $((WY + WH / 2)))" != "$(e2e_pixel background $((WX + 1)) $((WY + WH / 2)))" ]
    }
    e2e_wait_for 10 painted || true
    [ -z "$docs" ] || { sleep 6; e2e_shot "scale-$scale"; }
    echo "window at $WX,$WY size ${WW}x$WH"
    want_w=$(python3 -c "print(round(270 * $scale))")
    want_h=$(python3 -c "print(round(240 * $scale))")
    (( WW >= want_w - 1 && WW <= want_w + 1 && WH >= want_h - 1 && WH <= want_h + 1 )) ||
        e2e_fail "at $scale the window is ${WW}x$WH, not about ${want_w}x$want_h"
    right=$((WX + WW - 1))
    bottom=$((WY + WH - 1))
    for corner in "$WX $WY" "$right $WY" "$WX $bottom" "$right $bottom"; do
        # shellcheck disable=SC2086
        [ "$(python3 "$E2E_SHOT" pixel "$out/scale-$scale.ppm" $corner)" = \
          "$(python3 "$E2E_SHOT" pixel "$out/background.ppm" $corner)" ] ||
            e2e_fail "at $scale corner $corner shows the skin, not the screen behind"
    done
    for edge in "$WX $((WY + WH / 2))" "$((WX + WW / 2)) $WY" "$((WX + WW / 2)) $bottom" "$right $((WY + WH / 2))"; do
        # shellcheck disable=SC2086
        [ "$(python3 "$E2E_SHOT" pixel "$out/scale-$scale.ppm" $edge)" != \
          "$(python3 "$E2E_SHOT" pixel "$out/background.ppm" $edge)" ] ||
            e2e_fail "at $scale edge $edge shows the screen behind, not the skin"
    done
    if [ -n "$docs" ]; then
        mkdir -p "$docs"
        python3 "$E2E_SHOT" png "$out/scale-$scale.ppm" "$docs/window-scale-$scale.png" "$WX" "$WY" "$WW" "$WH"
    fi
    kill "$e2e_app_pid"
    wait "$e2e_app_pid" || true
done
echo "scaled windows: all good"
