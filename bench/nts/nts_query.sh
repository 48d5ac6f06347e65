#!/usr/bin/env bash
# One NTS query against one plain query of the built console, alternated, on loopback:
#   bench/nts/nts_query.sh BUILD [RUNS]
# chronyd (-x) serves SNTP on port 123 and the NTS key exchange on a free port of this run's
# own loopback address (127.A.B.1), with a certificate for that address made here and given to
# the console with --nts-ca. Each run is timed from the start of the process to its end (wall
# clock); prints the medians, the ratio NTS / plain and the goal (at most 2.5). Needs root
# (port 123) and chronyd (HORALINK_CHRONYD or installed).
set -euo pipefail
build=$(cd "${1:?usage: nts_query.sh BUILD [RUNS]}" && pwd)
runs=${2:-30}
if [ -z "${HORALINK_CAP_DROPPED:-}" ]; then
    export HORALINK_CAP_DROPPED=1
    exec capsh --drop=cap_sys_time -- "$0" "$@"
fi
program=$build/app/horalink
[ -x "$program" ] || { echo "$program is not built" >&2; exit 1; }
chronyd=${HORALINK_CHRONYD:-$(command -v chronyd || echo /usr/sbin/chronyd)}
address=127.$(( ($$ >> 8) % 254 + 1 )).$(( $$ % 256 )).1
dir=$(mktemp -d /tmp/horalink-bench-nts.XXXXXX)
pid=
cleanup() {
    [ -z "$pid" ] || { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
    rm -rf "$dir"
}
trap cleanup EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=bench -addext "subjectAltName=IP:$address" \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
ntsport=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$dir/chrony.conf" <<CONF
port 123
bindaddress $address
allow 127.0.0.0/8
local stratum 8
cmdport 0
pidfile $dir/chronyd.pid
ntsserverkey $dir/key.pem
ntsservercert $dir/cert.pem
ntsport $ntsport
ntsdumpdir $dir
CONF
"$chronyd" -4 -x -d -u root -l "$dir/chronyd.log" -f "$dir/chrony.conf" &
pid=$!

plain=("$program" --console "$address")
nts=("$program" --console --nts-ca "$dir/cert.pem" "nts://$address:$ntsport")
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bench
for _ in $(seq 50); do
    "${nts[@]}" >/dev/null 2>&1 && "${plain[@]}" >/dev/null 2>&1 && break
    sleep 0.1
done
"${nts[@]}" >/dev/null 2>"$dir/err" || { echo "NTS query fails: $(cat "$dir/err")" >&2; exit 1; }

# Milliseconds of one run of the command.
time_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
}
: >"$dir/plain"
: >"$dir/nts"
for _ in $(seq "$runs"); do
    time_ms "${plain[@]}" >>"$dir/plain"
    time_ms "${nts[@]}" >>"$dir/nts"
done
/usr/bin/python3 - "$dir/plain" "$dir/nts" "$runs" <<'PY'
import statistics, sys
plain = [int(x) / 1000 for x in open(sys.argv[1])]
nts = [int(x) / 1000 for x in open(sys.argv[2])]
p, n = statistics.median(plain), statistics.median(nts)
print(f"{sys.argv[3]} alternated runs each, wall ms: plain median {p:.1f} (min {min(plain):.1f}),"
      f" NTS median {n:.1f} (min {min(nts):.1f}); ratio {n / p:.2f} (goal at most 2.5: "
      f"{'met' if n / p <= 2.5 else 'not met'})")
PY
