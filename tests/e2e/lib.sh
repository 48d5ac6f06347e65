# Shared by the end-to-end test and the window benchmarks: a private Xvfb, chronyd serving port
# 123 of this run's loopback address, the program started as a user would, and screenshots.
# Source it, then call e2e_init OUT_DIR; everything started here is stopped by its pid on exit.
# shellcheck shell=bash

E2E_SCREEN_W=1024
E2E_SCREEN_H=768
# The program always asks port 123: runs overlapping on one machine each serve it on a loopback
# address of their own, 127.A.B.1 with A.B from the pid. HORALINK_E2E_ADDRESS names another
# (127.0.0.1 for the pictures in docs/).
E2E_ADDRESS=${HORALINK_E2E_ADDRESS:-127.$(( ($$ >> 8) % 254 + 1 )).$(( $$ % 256 )).1}
E2E_SHOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/shot.py"
e2e_pids=()

# Re-runs the calling script without CAP_SYS_TIME, so nothing it starts can set the clock.
e2e_drop_clock_capability() {
    local bnd eff
    bnd=$(awk '/^CapBnd:/ {print $2}' /proc/self/status)
    eff=$(awk '/^CapEff:/ {print $2}' /proc/self/status)
    if (( (0x$bnd >> 25) & 1 || (0x$eff >> 25) & 1 )); then
        [ -z "${HORALINK_E2E_DROPPED:-}" ] || { echo "CAP_SYS_TIME is still held; refusing to run" >&2; exit 1; }
        export HORALINK_E2E_DROPPED=1
        exec capsh --drop=cap_sys_time -- "$@"
    fi
}

e2e_skip() {
    echo "SKIPPED: $*"
    exit 77
}

e2e_fail() {
    echo "FAILED: $*" >&2
    exit 1
}

e2e_require() {
    local program=$1
    [ -x "$program" ] || e2e_skip "$program is not built yet"
    local tool
    for tool in Xvfb xdotool import "${HORALINK_CHRONYD:-chronyd}" python3 ss; do
        command -v "$tool" >/dev/null || e2e_skip "$tool is not installed (see scripts/deps)"
    done
    [ "$(id -u)" -eq 0 ] || e2e_skip "chronyd needs root to serve port 123"
}

e2e_cleanup() {
    local i
    for (( i = ${#e2e_pids[@]} - 1; i >= 0; i-- )); do
        kill -TERM "${e2e_pids[i]}" 2>/dev/null || true
        wait "${e2e_pids[i]}" 2>/dev/null || true
    done
    [ -z "${e2e_chrony_dir:-}" ] || rm -rf "$e2e_chrony_dir"
    # Screenshots are kept as PNG, a tenth of the size.
    local shot
    for shot in "${E2E_OUT:-/nonexistent}"/*.ppm; do
        [ -e "$shot" ] || continue
        python3 "$E2E_SHOT" png "$shot" "${shot%.ppm}.png" && rm -f "$shot"
    done
}

e2e_init() {
    E2E_OUT=$1
    mkdir -p "$E2E_OUT"
    trap e2e_cleanup EXIT
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
e2e_wait_for() {
    local deadline=$(( $(date +%s%N) + $1 * 1000000000 ))
    shift
    until "$@"; do
        (( $(date +%s%N) < deadline )) || return 1
        sleep 0.05
    done
}

# Starts Xvfb on display $1; true once it serves it, false when the server ended first (the
# display was taken, perhaps by a server this machine cannot see from here).
e2e_try_xvfb() {
    local ready="$E2E_OUT/display"
    : >"$ready"
    # -displayfd reports the display once it accepts connections. -noreset: a server that resets
    # when its last client leaves refuses a program starting at that moment ("could not connect
    # to display"), as the benchmarks' back-to-back starts showed. -wr gives a white root to
    # tell the window's corners by.
    Xvfb ":$1" -displayfd 3 -noreset -screen 0 "${E2E_SCREEN_W}x${E2E_SCREEN_H}x24" -nolisten tcp \
        -wr 3>"$ready" >>"$E2E_OUT/xvfb.log" 2>&1 &
    e2e_xvfb_pid=$!
    if ! e2e_wait_for 10 e2e_xvfb_ready "$ready" || [ ! -s "$ready" ]; then
        kill -TERM "$e2e_xvfb_pid" 2>/dev/null
        wait "$e2e_xvfb_pid" 2>/dev/null
        return 1
    fi
    e2e_pids+=("$e2e_xvfb_pid")
}

e2e_xvfb_ready() { [ -s "$1" ] || ! kill -0 "$e2e_xvfb_pid" 2>/dev/null; }

# A display of this run's own: displays whose socket or lock file exists are passed over, and
# one that another server takes meanwhile is given up for the next.
e2e_start_xvfb() {
    local display=$(( $$ % 50 + 10 )) tries
    for (( tries = 0; tries < 40; tries++, display = display % 500 + 1 )); do
        if [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] ||
            ! e2e_try_xvfb "$display"; then
            continue
        fi
        DISPLAY=":$display"
        export DISPLAY
        e2e_wait_for 10 xdotool getdisplaygeometry >/dev/null 2>&1 || e2e_fail "cannot connect to Xvfb at $DISPLAY"
        return 0
    done
    e2e_fail "Xvfb did not start on a free display (see xvfb.log)"
}

# A desktop session's bus of the run's own: nothing the program starts reaches the user's bus
# or, where there is none, has libdbus start one and leave its address in ~/.dbus.
e2e_start_session_bus() {
    command -v dbus-daemon >/dev/null || e2e_skip "dbus-daemon is not installed (see scripts/deps)"
    local socket=$E2E_OUT/session-bus
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket" >"$E2E_OUT/dbus.log" 2>&1 &
    e2e_pids+=($!)
    e2e_wait_for 10 test -S "$socket" || e2e_fail "the session bus did not start (see dbus.log)"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$socket"
}

# A server holding port 123 on every address would take this run's requests too.
e2e_port_123_on_every_address() {
    ss -Hulnp 'sport = :123' | grep -qE '(0\.0\.0\.0|\*|\[::\]):123'
}

e2e_port_123_free() {
    ! ss -Hulnp 'sport = :123' | grep -qF "$E2E_ADDRESS:123"
}

e2e_chronyd_listens() {
    ss -Hulnp 'sport = :123' | grep -q "pid=$e2e_chronyd_pid,"
}

# chronyd -x (it never touches the clock) serving its own clock on $E2E_ADDRESS:123 only.
e2e_start_chronyd() {
    ! e2e_port_123_on_every_address ||
        e2e_skip "another server holds UDP port 123 on every address: $(ss -Hulnp 'sport = :123' | head -n 1)"
    e2e_wait_for 30 e2e_port_123_free || e2e_fail "$E2E_ADDRESS:123 stayed taken"
    e2e_chrony_dir=$(mktemp -d /tmp/horalink-e2e-chrony.XXXXXX)
    chown _chrony "$e2e_chrony_dir" 2>/dev/null || true
    cat >"$e2e_chrony_dir/chrony.conf" <<CONF
port 123
bindaddress $E2E_ADDRESS
allow 127.0.0.0/8
local stratum 8
cmdport 0
pidfile $e2e_chrony_dir/chronyd.pid
CONF
    local run_as=root
    getent passwd _chrony >/dev/null && run_as=_chrony
    "${HORALINK_CHRONYD:-chronyd}" -x -d -u "$run_as" -f "$e2e_chrony_dir/chrony.conf" >"$E2E_OUT/chronyd.log" 2>&1 &
    e2e_chronyd_pid=$!
    e2e_pids+=("$e2e_chronyd_pid")
    e2e_wait_for 10 e2e_chronyd_listens || e2e_fail "chronyd does not serve $E2E_ADDRESS:123 (see chronyd.log)"
}

# A user's installation in the output folder: the program in a folder of its own (the clock font
# is written beside it) with a server list naming only the local server, so that "OK" never asks
# a server outside this machine. Sets E2E_PROGRAM.
e2e_install() {
    local dir=$E2E_OUT/install
    mkdir -p "$dir/url"
    cp "$1" "$dir/horalink"
    printf '# the local test server only\n%s\n' "$E2E_ADDRESS" >"$dir/url/time.txt"
    E2E_PROGRAM=$dir/horalink
}

# Starts the program with the given arguments; sets e2e_app_pid.
# The benchmarks' common start: the program of BUILD_DIR copied into a scratch folder that goes
# on exit, and an X screen of its own.
e2e_bench_start() {
    e2e_require "$1/app/horalink"
    e2e_init "$(mktemp -d /tmp/horalink-bench.XXXXXX)"
    trap 'e2e_cleanup; rm -rf "$E2E_OUT"' EXIT
    e2e_install "$1/app/horalink"
    e2e_start_xvfb
}

e2e_start_app() {
    QT_QPA_PLATFORM=xcb "$E2E_PROGRAM" "$@" >>"$E2E_OUT/horalink.log" 2>&1 &
    e2e_app_pid=$!
    e2e_pids+=("$e2e_app_pid")
}

e2e_find_window() {
    e2e_wid=$(xdotool search --onlyvisible --pid "$e2e_app_pid" 2>/dev/null | head -n 1)
    [ -n "$e2e_wid" ]
}

# Waits for the program's first window; sets e2e_wid and WX, WY, WW, WH.
e2e_wait_window() {
    e2e_wait_for 30 e2e_find_window || e2e_fail "no window appeared (see horalink.log)"
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$e2e_wid" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    # The window's screen position and size, for the callers.
    export WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
}

e2e_app_ended() {
    ! kill -0 "$e2e_app_pid" 2>/dev/null
}

# A screenshot of the whole screen as $E2E_OUT/NAME.ppm.
e2e_shot() {
    import -window root -depth 8 "$E2E_OUT/$1.ppm"
}

e2e_pixel() { python3 "$E2E_SHOT" pixel "$E2E_OUT/$1.ppm" "$2" "$3"; }

# Text lines in the log pane (client 23, 91, 221 x 94) of a screenshot.
e2e_log_bands() { python3 "$E2E_SHOT" bands "$E2E_OUT/$1.ppm" $((WX + 23)) $((WY + 91)) 221 94; }

e2e_log_same() { python3 "$E2E_SHOT" same "$E2E_OUT/$1.ppm" "$E2E_OUT/$2.ppm" $((WX + 23)) $((WY + 91)) 221 94; }

# Waits until the log pane shows at least $1 lines and has stopped changing; the last shot is
# NAME. Six lines (the look-up line and the report) and the empty line after them can need more
# than the pane's height, so that the first has scrolled out of view: five are enough.
e2e_wait_report() {
    local lines=$1 name=$2 seconds=${3:-30}
    local deadline=$(( $(date +%s) + seconds ))
    e2e_shot "$name"
    while (( $(date +%s) < deadline )); do
        sleep 0.7
        mv "$E2E_OUT/$name.ppm" "$E2E_OUT/$name.prev.ppm"
        e2e_shot "$name"
        if [ "$(e2e_log_bands "$name")" -ge "$lines" ] && e2e_log_same "$name" "$name.prev"; then
            rm -f "$E2E_OUT/$name.prev.ppm"
            return 0
        fi
    done
    return 1
}

# Clicks at a point of the main window (client pixels).
e2e_click() {
    xdotool mousemove --window "$e2e_wid" "$1" "$2" click 1
}
