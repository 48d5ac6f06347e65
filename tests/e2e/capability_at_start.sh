#!/usr/bin/env bash
# The program starts with the right to set the clock in none of its threads' effective sets,
# only in the permitted set, from which the clock setter raises it for its own call. Run in a
# user namespace, where the process holds every capability of that namespace and the kernel
# still refuses to set the machine's clock.
#   capability_at_start.sh BUILD_DIR
set -uo pipefail
program=$1/app/horalink
[ -x "$program" ] || { echo "SKIPPED: $program is not built yet"; exit 77; }
unshare -Ur true 2>/dev/null || { echo "SKIPPED: no user namespaces here"; exit 77; }
folder=$(mktemp -d /tmp/horalink-caps.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$program" "$folder/horalink"

# Bit 25 (CAP_SYS_TIME) of a /proc status line's hexadecimal set.
sys_time_bit() { echo $(( (0x$1 >> 25) & 1 )); }

# Prints "PERMITTED EFFECTIVE" for every thread of a window started with a server to ask, so
# that a worker thread runs too.
sets=$(unshare -Ur bash -c '
    QT_QPA_PLATFORM=offscreen DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/caps \
        "$1/horalink" 127.0.0.1 n >/dev/null 2>&1 &
    pid=$!
    sleep 1.5
    for status in /proc/$pid/task/*/status; do
        awk "/^CapPrm:/ {p = \$2} /^CapEff:/ {e = \$2} END {print p, e}" "$status"
    done
    kill "$pid"' _ "$folder")
[ -n "$sets" ] || { echo "FAILED: the program did not run"; exit 1; }
threads=0
while read -r permitted effective; do
    threads=$((threads + 1))
    [ "$(sys_time_bit "$permitted")" -eq 1 ] || { echo "FAILED: not permitted: $permitted"; exit 1; }
    [ "$(sys_time_bit "$effective")" -eq 0 ] || { echo "FAILED: effective: $effective"; exit 1; }
done <<<"$sets"
echo "PASSED: $threads threads, CAP_SYS_TIME permitted and not effective in each"
