#!/usr/bin/env bash
# End to end: the built program in a real X window (Xvfb) against chronyd on port 123 of this
# run's loopback address, started as a user would with a server and a flag on its command line. Checks that the window
# appears centred with rounded corners, that the report arrives, that "OK" clicked with the mouse
# runs a new retrieve and that closing the window ends the process; then the console mode; then
# the window worked by the keyboard alone.
#
#   window_e2e.sh BUILD_DIR OUT_DIR [--docs DOCS_DIR]
#
# Screenshots go to OUT_DIR; with --docs, pictures of the window's states go to DOCS_DIR (taken
# with HORALINK_E2E_ADDRESS=127.0.0.1, so that they show the usual loopback address).
# Exits 77 (skipped) when the program or a tool is missing.
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

step() { echo "== $*"; }

# Crops the main window (and extra pixels below it, for the drop-down list) into DOCS_DIR.
doc_picture() {
    [ -n "$docs" ] || return 0
    local name=$1 below=${2:-0}
    mkdir -p "$docs"
    e2e_shot "doc-$name"
    python3 "$E2E_SHOT" png "$E2E_OUT/doc-$name.ppm" "$docs/$name.png" "$WX" "$WY" "$WW" $((WH + below))
}

e2e_start_xvfb
e2e_start_session_bus
e2e_start_chronyd

step "console mode, no display"
console=$(env -u DISPLAY "$E2E_PROGRAM" --console "$E2E_ADDRESS" N 2>&1) && status=0 || status=$?
echo "$console" | tee "$out/console.txt"
[ "$status" -eq 0 ] || e2e_fail "--console exited with $status"
grep -q '^Time was successfully retreived$' <<<"$console" || e2e_fail "no report from --console"
grep -qE '^ {9}-?[0-9]+\.[0-9]{6} seconds$' <<<"$console" || e2e_fail "no offset line from --console"

step "the window, started with '$E2E_ADDRESS N'"
e2e_shot background
e2e_start_app "$E2E_ADDRESS" N
e2e_wait_window
# The window is mapped before its first paint reaches the screen: a busy machine shows the gap.
painted() {
    e2e_shot started &&
        [ "$(e2e_pixel started $((WX + 1)) $((WY + 120)))" != "$(e2e_pixel background $((WX + 1)) $((WY + 120)))" ]
}
e2e_wait_for 10 painted || true
doc_picture window-started
echo "window $e2e_wid at $WX,$WY size ${WW}x$WH"
(( WW == 270 && WH == 240 )) || e2e_fail "window is ${WW}x$WH, not 270x240"
(( WX == (E2E_SCREEN_W - 270) / 2 && WY == (E2E_SCREEN_H - 240) / 2 )) ||
    e2e_fail "window at $WX,$WY is not centred"

step "rounded corners"
for corner in "$WX $WY" "$((WX + 269)) $WY" "$WX $((WY + 239))" "$((WX + 269)) $((WY + 239))"; do
    # shellcheck disable=SC2086
    [ "$(e2e_pixel started $corner)" = "$(e2e_pixel background $corner)" ] ||
        e2e_fail "corner $corner shows the skin, not the screen behind"
done
for edge in "$WX $((WY + 120))" "$((WX + 269)) $((WY + 120))" "$((WX + 135)) $WY" "$((WX + 135)) $((WY + 239))"; do
    # shellcheck disable=SC2086
    [ "$(e2e_pixel started $edge)" != "$(e2e_pixel background $edge)" ] ||
        e2e_fail "edge $edge shows the screen behind, not the skin"
done

step "the command line's report: the look-up line and five report lines"
e2e_wait_report 5 report-1 || e2e_fail "the report did not arrive (see report-1.png)"
doc_picture window-retrieved

step "\"OK\" clicked runs a new retrieve"
e2e_click $((165 + 20)) $((200 + 11))
cleared=0
for _ in $(seq 20); do
    e2e_shot after-click
    if [ "$(e2e_log_bands after-click)" -le 1 ]; then
        cleared=1
        break
    fi
    sleep 0.1
done
[ "$cleared" -eq 1 ] || e2e_fail "the log was not cleared by \"OK\" (see after-click.png)"
e2e_wait_report 5 report-2 || e2e_fail "the second report did not arrive (see report-2.png)"
! e2e_log_same report-1 report-2 || e2e_fail "the second report shows the same pixels as the first"

if [ -n "$docs" ]; then
    step "pictures for docs/"
    main_wid=$e2e_wid
    xdotool mousemove --window "$main_wid" 185 211
    sleep 0.5
    doc_picture button-hovered
    xdotool mousedown 1
    sleep 0.3
    doc_picture button-pressed
    xdotool mouseup 1
    e2e_wait_report 5 report-3 || e2e_fail "the third report did not arrive"
    e2e_click $((17 + 141 - 8)) $((200 + 11))
    sleep 0.7
    doc_picture server-list-open 120
    xdotool key Escape
    sleep 0.3
    e2e_click $((228 + 7)) $((5 + 7))
    about=
    for _ in $(seq 50); do
        about=$(xdotool search --onlyvisible --pid "$e2e_app_pid" | grep -vx "$main_wid" | head -n 1) || true
        [ -z "$about" ] || break
        sleep 0.1
    done
    [ -n "$about" ] || e2e_fail "the About box did not open"
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$about" | sed 's/^/ABOUT_/')"
    e2e_shot doc-about
    python3 "$E2E_SHOT" png "$out/doc-about.ppm" "$docs/about-box.png" \
        "$ABOUT_X" "$ABOUT_Y" "$ABOUT_WIDTH" "$ABOUT_HEIGHT"
    xdotool windowfocus --sync "$about" key Escape
    e2e_wait_for 5 bash -c "! xdotool search --onlyvisible --pid $e2e_app_pid | grep -qx $about" ||
        e2e_fail "the About box did not close"
fi

step "the close button ends the program"
e2e_click $((246 + 7)) $((5 + 7))
e2e_wait_for 10 e2e_app_ended || e2e_fail "the program still runs after its window was closed"
wait "$e2e_app_pid" || e2e_fail "the program exited with $?"

step "keyboard only: Tab from the selector reaches GET and SET, Enter presses them, Escape closes"
# Never the machine's system bus: "SET" must fail here, as it does without the right to set the
# clock.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/horalink-e2e
e2e_start_app
e2e_wait_window
xdotool windowfocus --sync "$e2e_wid"
# The focus starts in the log pane; the keyboard's focus is outlined in the skin's dark colour
# (the log pane's frame takes it instead of white).
dark="0 0 50"
key_shot() {
    xdotool key "$1"
    sleep 0.3
    e2e_shot "$2"
}
focus_shows() { [ "$(e2e_pixel "$1" $((WX + $2)) $((WY + $3)))" = "$dark" ]; }
key_shot shift+Tab keys-selector
! focus_shows keys-selector 17 83 || e2e_fail "Shift+Tab did not leave the log pane"
key_shot Tab keys-log
focus_shows keys-log 17 83 || e2e_fail "Tab from the selector did not reach the log pane (see keys-log.png)"
key_shot Tab keys-get
focus_shows keys-get 165 200 || e2e_fail "Tab did not reach GET with a visible focus (see keys-get.png)"
xdotool key Return
e2e_wait_report 5 keys-report || e2e_fail "Enter on GET brought no report (see keys-report.png)"
key_shot Tab keys-set
focus_shows keys-set 210 200 || e2e_fail "Tab did not reach SET with a visible focus (see keys-set.png)"
! focus_shows keys-set 165 200 || e2e_fail "GET still shows the focus"
xdotool key Return
# SET measures nothing new: it sets the clock by the report and, refused, says so in one line.
e2e_wait_report 1 keys-adjusted || e2e_fail "Enter on SET wrote nothing (see keys-adjusted.png)"
[ "$(e2e_log_bands keys-adjusted)" -eq 1 ] || e2e_fail "Enter on SET ran GET (see keys-adjusted.png)"
xdotool key Escape
e2e_wait_for 10 e2e_app_ended || e2e_fail "Escape did not close the window"
wait "$e2e_app_pid" || e2e_fail "the program exited with $?"

step "without a session bus the window starts none"
# The address unset, then empty: libdbus takes either for none and would start a bus.
for address in unset empty; do
    home=$E2E_OUT/home-$address-bus-address
    mkdir -p "$home"
    bus=(DBUS_SESSION_BUS_ADDRESS=)
    [ "$address" = empty ] || bus=(-u DBUS_SESSION_BUS_ADDRESS)
    env -u XDG_RUNTIME_DIR "${bus[@]}" HOME="$home" QT_QPA_PLATFORM=xcb \
        "$E2E_PROGRAM" "$E2E_ADDRESS" N >>"$E2E_OUT/horalink.log" 2>&1 &
    e2e_app_pid=$!
    e2e_pids+=("$e2e_app_pid")
    e2e_wait_window
    e2e_wait_report 5 "report-$address-bus-address" || e2e_fail "no report, bus address $address"
    kill -TERM "$e2e_app_pid"
    wait "$e2e_app_pid" 2>/dev/null || true
    [ ! -e "$home/.dbus" ] || e2e_fail "bus address $address: the window left $(find "$home/.dbus" | head -n 3)"
done

if [ -n "$docs" ]; then
    step "the screenshot for the software centre: the window at scale 2 on a plain background"
    QT_SCALE_FACTOR=2 e2e_start_app "$E2E_ADDRESS" N
    e2e_wait_window
    (( WW == 540 && WH == 480 )) || e2e_fail "the window at scale 2 is ${WW}x$WH"
    # Six lines typed at 30 ms a character, and the margin.
    sleep 8
    e2e_shot doc-scale2
    python3 "$E2E_SHOT" png "$out/doc-scale2.ppm" "$docs/window-scale2.png" \
        $((WX - 50)) $((WY - 50)) $((WW + 100)) $((WH + 100))
    kill -TERM "$e2e_app_pid"
    wait "$e2e_app_pid" 2>/dev/null || true
fi
echo "PASSED; screenshots in $out"
