#!/usr/bin/env bash
# A run that cannot set the clock gives the right to set it up entirely (CAP_SYS_TIME leaves
# the permitted set) before the server says a word; a console run with Y keeps it permitted for
# the setting. Each is caught while it waits on a key-exchange server that never answers. Run in
# a user namespace, where the process holds every capability of that namespace and the kernel
# still refuses to set the machine's clock.
#   capability_permitted.sh BUILD_DIR
set -uo pipefail
program=$1/app/horalink
query=$1/sntp/query/horalink-query
for p in "$program" "$query"; do
    [ -x "$p" ] || { echo "SKIPPED: $p is not built yet"; exit 77; }
done
unshare -Ur true 2>/dev/null || { echo "SKIPPED: no user namespaces here"; exit 77; }

# A TCP server that takes connections into its backlog and never speaks.
coproc SILENT { exec /usr/bin/python3 -c '
import socket, sys
s = socket.create_server(("127.0.0.1", 0))
print(s.getsockname()[1], flush=True)
sys.stdin.read()'; }
trap 'kill "$SILENT_PID" 2>/dev/null' EXIT
read -r port <&"${SILENT[0]}"
[ -n "$port" ] || { echo "FAILED: no silent server"; exit 1; }

# Bit 25 (CAP_SYS_TIME) of the permitted set of a command caught one second into its wait.
# shellcheck disable=SC2016 # expanded by the inner shell
permitted_bit() {
    unshare -Ur bash -c '
        DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/caps "$@" >/dev/null 2>&1 &
        pid=$!
        sleep 1
        set -- $(awk "/^CapPrm:/ {print \$2}" /proc/$pid/status)
        kill "$pid"
        echo $(( (0x$1 >> 25) & 1 ))' _ "$@"
}

server=nts://127.0.0.1:$port
failed=0
check() {
    local expected=$1 name=$2
    shift 2
    local bit
    bit=$(permitted_bit "$@")
    if [ "$bit" = "$expected" ]; then
        echo "ok: $name: CAP_SYS_TIME permitted bit $bit"
    else
        echo "FAILED: $name: CAP_SYS_TIME permitted bit '$bit', expected $expected"
        failed=1
    fi
}
check 0 "console without Y" "$program" --console --timeout 3 "$server"
check 0 "console with N" "$program" --console --timeout 3 "$server" n
check 1 "console with Y" "$program" --console --timeout 3 "$server" y
check 0 "query tool" "$query" --timeout 3 "$server"
exit $failed
