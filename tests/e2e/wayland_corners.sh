#!/usr/bin/env bash
# The window under a real Wayland compositor (weston, headless, on a white desktop): a mask only
# limits input there, so the rounded corners must come from the window's own transparency. Finds
# the window in a screenshot of the whole output and checks that its four corner pixels show the
# desktop while its edges show the skin. The screenshot stays in OUT_DIR.
#   wayland_corners.sh BUILD_DIR OUT_DIR
# Exits 77 (skipped) when the program, weston or Qt's Wayland plugin is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
e2e_drop_clock_capability "$0" "$@"

program=$(realpath "$1")/app/horalink
out=$(realpath -m "$2")
[ -x "$program" ] || e2e_skip "$program is not built yet"
for tool in weston weston-screenshooter convert python3; do
    command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
compgen -G "$qt_plugins/platforms/libqwayland*.so" >/dev/null || e2e_skip "qt6-wayland is not installed"

rm -rf "$out"
e2e_init "$out"
e2e_install "$program"
e2e_start_session_bus
runtime=$(mktemp -d /tmp/horalink-wayland.XXXXXX)
chmod 0700 "$runtime"
trap 'e2e_cleanup; rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime
socket=horalink-e2e-$$
cat >"$out/weston.ini" <<'INI'
[shell]
background-color=0xffffffff
panel-position=none
INI
# --debug lets weston-screenshooter take the picture.
weston --backend=headless-backend.so --socket="$socket" --width=1024 --height=768 --use-pixman \
    --debug --config="$out/weston.ini" >"$out/weston.log" 2>&1 &
e2e_pids+=($!)
e2e_wait_for 10 test -S "$runtime/$socket" || e2e_fail "weston did not start (see weston.log)"

env -u DISPLAY WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$E2E_PROGRAM" \
    >>"$out/horalink.log" 2>&1 &
e2e_app_pid=$!
e2e_pids+=("$e2e_app_pid")

shot_taken() {
    rm -f "$out"/wayland-screenshot*.png
    (cd "$out" && WAYLAND_DISPLAY="$socket" weston-screenshooter >/dev/null 2>&1) || return 1
    local png
    png=$(compgen -G "$out/wayland-screenshot*.png" | head -n 1) || return 1
    mv "$png" "$out/screen.png"
    convert "$out/screen.png" "$out/screen.ppm"
    # The window is whatever differs from the white desktop.
    box=$(python3 "$E2E_SHOT" box "$out/screen.ppm" 255 255 255)
    [ -n "$box" ]
}
# The window appears, then its first frame: wait until the box has the skin's size.
window_shown() {
    e2e_app_ended && e2e_fail "the program ended: $(tail -n 3 "$out/horalink.log")"
    shot_taken && [ "${box#* * }" = "270 240" ]
}
e2e_wait_for 20 window_shown || e2e_fail "no 270x240 window on the screen (box '${box:-}', see screen.png)"
read -r x y w h <<<"$box"
echo "window at $x,$y size ${w}x$h"

for corner in "$x $y" "$((x + w - 1)) $y" "$x $((y + h - 1))" "$((x + w - 1)) $((y + h - 1))"; do
    # shellcheck disable=SC2086
    pixel=$(python3 "$E2E_SHOT" pixel "$out/screen.ppm" $corner)
    [ "$pixel" = "255 255 255" ] || e2e_fail "corner $corner shows $pixel, not the desktop behind"
done
for edge in "$((x + w / 2)) $y" "$x $((y + h / 2))" "$((x + w - 1)) $((y + h / 2))" "$((x + w / 2)) $((y + h - 1))"; do
    # shellcheck disable=SC2086
    pixel=$(python3 "$E2E_SHOT" pixel "$out/screen.ppm" $edge)
    [ "$pixel" != "255 255 255" ] || e2e_fail "edge $edge shows the desktop, not the skin"
done
echo "PASSED; screenshot in $out/screen.png"
