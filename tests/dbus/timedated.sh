#!/usr/bin/env bash
# The clock set through timedated on a system bus of this run's own (the machine's is never
# touched): python3-dbusmock's timedated records the calls of the window's "Adjust" (dbus_tests)
# and of the console's Y; the real systemd-timedated, asked by the console as the unprivileged
# user 65534, refuses as polkit and the NTP service say and, when allowed, fails in the kernel,
# the capability being dropped. Runs itself under capsh --drop=cap_sys_time; skipped (exit 77)
# unless run as root with the tools installed.
#   timedated.sh BUILD_DIR
set -uo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
e2e_drop_clock_capability "$0" "$@"
program=$1/app/horalink
adjust_test=$1/tests/dbus/dbus_tests
python=/usr/bin/python3 # Debian's, with its dbusmock
timedated=/usr/lib/systemd/systemd-timedated
mock=org.freedesktop.DBus.Mock

[ "$(id -u)" -eq 0 ] || e2e_skip "not root: the real timedated and the unprivileged caller need it"
for tool in dbus-daemon gdbus setpriv ss script unshare "$python" "$timedated" "$program" "$adjust_test"; do
    command -v "$tool" >/dev/null || e2e_skip "$tool is not installed or built"
done
"$python" -c 'import dbusmock' 2>/dev/null || e2e_skip "python3-dbusmock is not installed"
e2e_port_123_free || e2e_skip "UDP port 123 is taken at $E2E_ADDRESS"

e2e_init "$(mktemp -d /tmp/horalink-dbus.XXXXXX)"
trap 'e2e_cleanup; rm -rf "$E2E_OUT"' EXIT
chmod 755 "$E2E_OUT" # the unprivileged caller must reach the socket
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_OUT/bus

# Starts the command in the background, stopped on exit; waits for bus name $1 when not empty.
serve() {
    local name=$1
    shift
    "$@" >/dev/null &
    e2e_pids+=($!)
    [ -z "$name" ] || gdbus wait --system --timeout 15 "$name" || e2e_fail "$name did not appear"
}

# gdbus call on the private bus: DESTINATION OBJECT METHOD ARGS...
call() { gdbus call --system -d "$1" -o "$2" -m "$3" "${@:4}"; }

# The console's Y against the server below as root or, with "unprivileged", as uid 65534, with
# the options that follow; sets out, err and status.
console_y() {
    local as=()
    [ -z "${1:-}" ] || as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    out=$("${as[@]}" env QT_QPA_PLATFORM=offscreen "$program" --console "${@:2}" "$E2E_ADDRESS" Y \
        2>"$E2E_OUT/err" </dev/null)
    status=$?
    err=$(<"$E2E_OUT/err")
}

# Allows everything: the bus is this run's alone.
cat >"$E2E_OUT/bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$E2E_OUT/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/> <allow own="*"/> <allow send_destination="*"/> <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
serve "" dbus-daemon --config-file="$E2E_OUT/bus.conf" --nofork
e2e_wait_for 15 test -S "$E2E_OUT/bus" || e2e_fail "dbus-daemon did not start"

# An SNTP server 10 s ahead: a relative change of zero would be no change, which timedated
# grants without asking anyone.
serve "" "$python" -c '
import socket, struct, sys, time
server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind((sys.argv[1], 123))
while True:
    request, client = server.recvfrom(512)
    now = time.time() + 2208988800 + 10
    stamp = struct.pack("!II", int(now), int(now % 1 * 2**32))
    server.sendto(bytes([0x1c, 1]) + bytes(22) + request[40:48] + stamp + stamp, client)
' "$E2E_ADDRESS"
e2e_wait_for 10 eval '! e2e_port_123_free' || e2e_fail "no SNTP server at $E2E_ADDRESS:123"

# With the mock: dbus_tests drives the window and the setter and reads the calls the mock
# recorded. Then the console's Y (no terminal), with automatic time off: one SetTime that may not
# ask, of the offset it printed; with automatic time on and synchronised: no clock call, exit 3
# and the reason; with --disable-ntp: SetNTP(false), then SetTime.
serve org.freedesktop.timedate1 "$python" -m dbusmock --system --template timedated -p '{"NTP": false}'
tdcall() { call org.freedesktop.timedate1 /org/freedesktop/timedate1 "$@"; }
# The clock calls the mock recorded, one a line: "SetNTP false false", "SetTime 10000000 true false".
clock_calls() {
    tdcall $mock.GetCalls | grep -oE "'Set(NTP|Time)', \[[^]]*\]" |
        sed -E "s/'(Set[A-Za-z]+)', \[(.*)\]/\1 \2/; s/<(int64 )?([^>]*)>/\2/g; s/,//g"
}
automatic_time() {
    tdcall $mock.UpdateProperties org.freedesktop.timedate1 \
        "{'NTP': <$1>, 'NTPSynchronized': <$1>}" >/dev/null
    tdcall $mock.ClearCalls >/dev/null
}
HORALINK_PRIVATE_BUS=$DBUS_SYSTEM_BUS_ADDRESS QT_QPA_PLATFORM=offscreen "$adjust_test" ||
    e2e_fail "dbus_tests"
tdcall $mock.AddMethod org.freedesktop.timedate1 SetTime xbb '' '' >/dev/null
automatic_time false
console_y
mapfile -t lines <<<"$out"
[ "$status" -eq 0 ] && [ "${#lines[@]}" -eq 7 ] && [ "${lines[6]}" = "Time was successfully synchronised" ] ||
    e2e_fail "console Y, exit $status: $out $err"
read -r method usec relative interactive extra <<<"$(clock_calls)"
[ "$method $relative $interactive ${extra:-}" = "SetTime true false " ] ||
    e2e_fail "SetTime after Y: $(clock_calls)"
printed=$(sed -E 's/^[^0-9-]*(-?[0-9.]+).*/\1/' <<<"${lines[5]}")
awk -v p="$printed" -v u="$usec" 'BEGIN { d = u - sprintf("%.0f", p * 1e6); exit d * d > 1 }' ||
    e2e_fail "SetTime of $usec us, printed: ${lines[5]}"

automatic_time true
console_y
[ "$status" -eq 3 ] && [ "${out##*$'\n'}" = "Failed to set the local time" ] &&
    [ "$err" = "horalink: automatic time synchronisation keeps the clock; --disable-ntp turns it off first" ] &&
    [ -z "$(clock_calls)" ] || e2e_fail "console Y, automatic time on: exit $status: $err $(clock_calls)"
tdcall $mock.ClearCalls >/dev/null
console_y "" --disable-ntp
mapfile -t calls < <(clock_calls)
[ "$status" -eq 0 ] && [ "${#calls[@]}" -eq 2 ] && [ "${calls[0]}" = "SetNTP false false" ] &&
    [[ ${calls[1]} == "SetTime "*" true false" ]] ||
    e2e_fail "console Y --disable-ntp: exit $status: $err ${calls[*]}"

kill "${e2e_pids[-1]}" && wait "${e2e_pids[-1]}"
unset 'e2e_pids[-1]'
has_owner() { call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "$1" | grep -q true; }
e2e_wait_for 5 eval '! has_owner org.freedesktop.timedate1' || e2e_fail "the mock timedated stayed"

# The real timedated: polkit says no; an NTP service runs, which timedated reports and for which
# it refuses SetTime; polkit says yes and the kernel refuses. Each time the clock is not set
# (exit 3) and the console gives the reason.
serve org.freedesktop.PolicyKit1 "$python" -m dbusmock --system --template polkitd
serve org.freedesktop.systemd1 "$python" -m dbusmock --system --template systemd
# systemd's object path of a unit: bytes other than letters and digits as _XX.
unit_path() {
    "$python" -c 'import sys; print("/org/freedesktop/systemd1/unit/" + "".join(
        c if c.isalnum() else "_%02x" % ord(c) for c in sys.argv[1]))' "$1"
}
# The units timedated counts as NTP services, from its lists.
mapfile -t units < <(grep -hvE '^\s*(#|$)' /usr/lib/systemd/ntp-units.d/*.list)
[ "${#units[@]}" -gt 0 ] || e2e_skip "no NTP units listed for timedated"
for unit in "${units[@]}"; do
    call org.freedesktop.systemd1 /org/freedesktop/systemd1 $mock.AddObject "$(unit_path "$unit")" \
        org.freedesktop.systemd1.Unit "{'Id': <'$unit'>, 'LoadState': <'loaded'>, \
'ActiveState': <'inactive'>, 'UnitFileState': <'disabled'>}" '[]' >/dev/null
done
serve org.freedesktop.timedate1 "$timedated"
while IFS='|' read -r allowed ntp reason; do
    call org.freedesktop.PolicyKit1 /org/freedesktop/PolicyKit1/Authority $mock.SetAllowed \
        "$allowed" >/dev/null
    for unit in "${units[@]}"; do
        call org.freedesktop.systemd1 "$(unit_path "$unit")" $mock.UpdateProperties \
            org.freedesktop.systemd1.Unit "{'ActiveState': <'$ntp'>}" >/dev/null
    done
    console_y unprivileged
    [ "$status" -eq 3 ] && [ "${out##*$'\n'}" = "Failed to set the local time" ] &&
        [ "$(wc -l <"$E2E_OUT/err")" -eq 1 ] && [[ $err == *"$reason"* ]] ||
        e2e_fail "expected '$reason' alone, exit $status: $out $err"
    # The refusal the setter retries after SetNTP(false), by the name it knows it by.
    if [ "$ntp" = active ]; then
        refusal=$(call org.freedesktop.timedate1 /org/freedesktop/timedate1 \
            org.freedesktop.timedate1.SetTime 1000000 true false 2>&1)
        [[ $refusal == *org.freedesktop.timedate1.AutomaticTimeSyncEnabled* ]] ||
            e2e_fail "timedated's SetTime while its NTP unit runs: $refusal"
    fi
done <<'CASES'
@as []|inactive|systemd-timedated: Permission denied
['org.freedesktop.timedate1.set-time']|active|automatic time synchronisation keeps the clock; --disable-ntp turns it off first
['org.freedesktop.timedate1.set-time']|inactive|Operation not permitted
CASES

# From a terminal (script gives the console one) polkit's text agent runs for the call: the real
# one registers and the call goes ahead; one that never registers (a stand-in mounted over it in
# a namespace of the run's own) is given up after its wait of 10 s. Either way stderr holds the
# one reason line.
call org.freedesktop.PolicyKit1 /org/freedesktop/PolicyKit1/Authority $mock.SetAllowed \
    "['org.freedesktop.timedate1.set-time']" >/dev/null
call org.freedesktop.PolicyKit1 /org/freedesktop/PolicyKit1/Authority $mock.AddMethod \
    org.freedesktop.PolicyKit1.Authority RegisterAuthenticationAgentWithOptions '(sa{sv})ssa{sv}' \
    '' '' >/dev/null
# The stand-in notes that it ran for the program itself (its pid and start time, stat field 22),
# and that it was ended as soon as the call was answered, before the program said how it went.
cat >"$E2E_OUT/agent" <<AGENT
#!/bin/sh
[ "\$2" = "\$PPID,\$(cut -d' ' -f22 /proc/\$PPID/stat)" ] && touch $E2E_OUT/agent-ran
trap '[ -s $E2E_OUT/err ] || touch $E2E_OUT/agent-ended; kill \$!; exit' TERM
sleep 60 &
wait
AGENT
chmod 755 "$E2E_OUT/agent"
for mount in "" "mount --bind $E2E_OUT/agent /usr/bin/pkttyagent &&"; do
    timeout 30 unshare -m sh -c "$mount script -qec 'env QT_QPA_PLATFORM=offscreen $program \
        --console $E2E_ADDRESS Y 2>$E2E_OUT/err' /dev/null" >/dev/null </dev/null
    status=$?
    err=$(<"$E2E_OUT/err")
    [ "$status" -eq 3 ] && [ "$(wc -l <"$E2E_OUT/err")" -eq 1 ] &&
        [[ $err == *"Operation not permitted"* ]] ||
        e2e_fail "console Y from a terminal, ${mount:-the real agent}: exit $status: $err"
done
[ -e "$E2E_OUT/agent-ran" ] || e2e_fail "console Y from a terminal started no agent for itself"
[ -e "$E2E_OUT/agent-ended" ] || e2e_fail "the agent outlived the call it was started for"
echo PASSED
