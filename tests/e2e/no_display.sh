#!/usr/bin/env bash
# Without a display the window mode says so in one line and exits 2, instead of Qt's abort; on
# the offscreen platform (the tests') it still starts; --help and --version need none.
#   no_display.sh BUILD_DIR
set -uo pipefail
program=$1/app/horalink
[ -x "$program" ] || { echo "SKIPPED: $program is not built yet"; exit 77; }
expected="no display: set DISPLAY or WAYLAND_DISPLAY, or use --console SERVER"
folder=$(mktemp -d /tmp/horalink-nodisplay.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$program" "$folder/horalink"

for platform in "" xcb wayland; do
    err=$(env -u DISPLAY -u WAYLAND_DISPLAY ${platform:+QT_QPA_PLATFORM=$platform} \
        "$folder/horalink" 2>&1 >/dev/null)
    status=$?
    [ "$status" -eq 2 ] || { echo "FAILED: exit $status with platform '$platform'"; exit 1; }
    [ "$err" = "$expected" ] || { echo "FAILED: stderr with platform '$platform': $err"; exit 1; }
done

# --help and --version need no display either: they print and succeed.
for option in --help --version; do
    env -u DISPLAY -u WAYLAND_DISPLAY "$folder/horalink" "$option" | grep -q . ||
        { echo "FAILED: $option printed nothing or failed"; exit 1; }
done

# Offscreen needs no display, named by the environment or by -platform, which wins over it: the
# window opens and stays until it is stopped.
for way in "QT_QPA_PLATFORM=offscreen" "QT_QPA_PLATFORM=xcb -platform offscreen"; do
    read -r environment argument <<<"$way"
    # shellcheck disable=SC2086 # the argument is two words or none
    env -u DISPLAY -u WAYLAND_DISPLAY "$environment" "$folder/horalink" $argument >/dev/null 2>&1 &
    pid=$!
    sleep 1.5
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "FAILED: $way ended with $?"; exit 1; }
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null
done
echo PASSED
