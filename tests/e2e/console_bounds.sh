#!/usr/bin/env bash
# The console inside a private network and mount namespace (a user namespace's root, which
# holds CAP_SYS_TIME there while the kernel still refuses to set the machine's clock):
# - resolv.conf names 127.0.0.53, which never answers time.example: --timeout 0.5 ends within
#   0.7 s with "name lookup timed out", plain and NTS;
# - split.example, whose IPv4 answer comes at once and whose IPv6 answer comes later, is looked
#   up within --timeout 3, once for its two samples;
# - with Y against a sound server on 127.0.0.1:123, the capability route fails and stderr holds
#   that one reason line, nothing from Qt;
# - a module beside the program that is not of this build is named as one of another version.
#   console_bounds.sh BUILD_DIR
set -uo pipefail
program=$1/app/horalink
[ -x "$program" ] || { echo "SKIPPED: $program is not built yet"; exit 77; }
unshare -Urmn true 2>/dev/null || { echo "SKIPPED: no user, network or mount namespaces here"; exit 77; }

inside() {
    set -uo pipefail
    program=$1
    ip link set lo up
    folder=$(mktemp -d /tmp/horalink-bounds.XXXXXX)
    printf 'nameserver 127.0.0.53\noptions timeout:5 attempts:2\n' >"$folder/resolv.conf"
    mount --bind "$folder/resolv.conf" /etc/resolv.conf
    # The resolver and a sound SNTP server, each printing a line once it listens.
    /usr/bin/python3 - >"$folder/servers" <<'PY' &
import socket, struct, sys, threading, time
dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
dns.bind(("127.0.0.53", 53))
ntp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
ntp.bind(("127.0.0.1", 123))
print("ready", flush=True)
# Answers split.example only: its address at once, "no IPv6 address" 0.3 s later.
def resolve():
    while True:
        query, peer = dns.recvfrom(512)
        end = query.index(0, 12) + 5  # the question: name, type, class
        if query[12:end - 4] != b"\x05split\x07example\x00":
            continue
        a = query[end - 4:end - 2] == b"\0\1"
        if a:
            print("lookup", flush=True)
        record = bytes([0xC0, 12, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1]) if a else b""
        reply = query[:2] + bytes([0x81, 0x80, 0, 1, 0, int(a), 0, 0, 0, 0]) + query[12:end] + record
        threading.Timer(0 if a else 0.3, dns.sendto, (reply, peer)).start()
threading.Thread(target=resolve, daemon=True).start()
while True:
    request, peer = ntp.recvfrom(512)
    now = time.time() + 2208988800
    stamp = struct.pack("!II", int(now), int((now % 1) * 2**32))
    answer = bytes([0x24, 2, 0, 0xEC]) + bytes(20) + request[40:48] + stamp + stamp
    ntp.sendto(answer, peer)
PY
    servers=$!
    trap 'kill $servers; rm -rf "$folder"' EXIT
    for _ in $(seq 100); do grep -q ready "$folder/servers" && break; sleep 0.02; done

    failed=0
    for server in time.example nts://time.example; do
        start=$(date +%s%N)
        "$program" --console --timeout 0.5 "$server" >/dev/null 2>"$folder/err"
        took=$(( ($(date +%s%N) - start) / 1000000 ))
        echo "$server: $took ms, $(cat "$folder/err")"
        [ "$(cat "$folder/err")" = "horalink: name lookup timed out" ] || failed=1
        [ "$took" -le 900 ] || failed=1
    done

    # Answers to one lookup that arrive apart are both awaited; the next sample asks no more.
    "$program" --console --timeout 3 --samples 2 split.example >"$folder/out" 2>"$folder/err"
    status=$?
    lookups=$(grep -c lookup "$folder/servers")
    echo "split.example: exit $status, $lookups lookups, $(tail -n 1 "$folder/out")$(cat "$folder/err")"
    [ "$status" -eq 0 ] && [ "$lookups" -eq 1 ] || failed=1

    # A module beside the program without this build's entry point is one of another version.
    mkdir "$folder/stale"
    cp "$program" "$folder/stale/horalink"
    cp "$(ldd "$program" | awk '/libz\.so/ { print $3 }')" "$folder/stale/horalink-nts.so"
    "$folder/stale/horalink" --console --timeout 0.5 nts://127.0.0.1 >/dev/null 2>"$folder/err"
    echo "stale module: $(cat "$folder/err")"
    [ "$(cat "$folder/err")" = "horalink: Network Time Security unavailable: $folder/stale/horalink-nts.so belongs to another version of Horalink (restart it)" ] ||
        failed=1

    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bounds "$program" --console 127.0.0.1 Y \
        >/dev/null 2>"$folder/err"
    status=$?
    echo "127.0.0.1 Y: exit $status, stderr: $(cat "$folder/err")"
    [ "$status" -eq 3 ] && [ "$(wc -l <"$folder/err")" -eq 1 ] &&
        grep -qx 'horalink: .*' "$folder/err" || failed=1
    return $failed
}

if unshare -Urmn bash -c "$(declare -f inside); inside \"\$1\"" _ "$program"; then
    echo "PASSED"
    exit 0
fi
echo "FAILED"
exit 1
