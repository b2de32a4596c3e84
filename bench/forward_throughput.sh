#!/usr/bin/env bash
# Messages per second through quilletdbg into a file, with 1 and with 8 concurrent senders: with
# no collector, with a UDP and with a TCP syslog collector ("-syslog"), and with a JSON file
# ("-json"). The collectors are a small Python receiver on 127.0.0.1 that counts what arrives;
# its counts show that every message got there.
#
#   bench/forward_throughput.sh [build-dir] [messages]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs), messages (per
# run, split among the senders) to 800. Each figure is the best of BENCH_RUNS rounds (default 3);
# the configurations alternate within a round. No other monitor or channel reader may run in
# the build's Wine prefix meanwhile (the test suite takes the channel too).
set -euo pipefail
source "$(dirname "$0")/common.sh"
messages=${2:-800}
monitor="$build/quilletdbg/quilletdbg.exe"
traffic="$build/tests/quilletdbg/traffic_sender.exe"
require_files "$run" "$monitor" "$traffic"
work=$(mktemp -d)
trap 'kill "$collector" 2>/dev/null || true; rm -rf "$work"' EXIT

# UDP and TCP on the same free port; counts the datagrams and the octet-counted frames.
python3 - "$work/port" "$work/counts" <<'EOF' &
import os, selectors, socket, sys
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("127.0.0.1", 0))
port = udp.getsockname()[1]
tcp = socket.socket()
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("127.0.0.1", port))
tcp.listen(4)
open(sys.argv[1], "w").write(str(port))
counts = {"udp": 0, "tcp": 0}
pending = {}
sel = selectors.DefaultSelector()
sel.register(udp, selectors.EVENT_READ, "udp")
sel.register(tcp, selectors.EVENT_READ, "listen")
while True:
    for key, _ in sel.select(timeout=0.5):
        if key.data == "udp":
            udp.recv(65536)
            counts["udp"] += 1
        elif key.data == "listen":
            connection, _ = tcp.accept()
            pending[connection] = b""
            sel.register(connection, selectors.EVENT_READ, "tcp")
        else:
            data = key.fileobj.recv(1 << 16)
            if not data:
                sel.unregister(key.fileobj)
                key.fileobj.close()
                continue
            buffer = pending[key.fileobj] + data
            while b" " in buffer:
                length, rest = buffer.split(b" ", 1)
                if len(rest) < int(length):
                    break
                buffer = rest[int(length):]
                counts["tcp"] += 1
            pending[key.fileobj] = buffer
    with open(sys.argv[2] + ".tmp", "w") as out:
        out.write("%d %d\n" % (counts["udp"], counts["tcp"]))
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])
EOF
collector=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
warm_up_wine

# The rate in the line that "traffic_sender flood" prints.
flood_rate() {
    "$run" "$traffic" flood "$1" "$2" | tr -d '\r' | sed -n 's/.*rate=\([0-9.]*\).*/\1/p'
}

# into_file SENDERS WORDS...: the monitor with WORDS into a file, flooded; prints the rate.
into_file() {
    local senders=$1
    shift
    setsid sh -c 'echo $$ >"$1"; shift; exec "$@"' monitor "$work/monitor.sid" "$run" "$monitor" "$@" \
        >"$work/monitor.out" 2>&1 </dev/null &
    local rate shown=0 tries=0
    rate=$(flood_rate "$senders" $((messages / senders)))
    while [ "$shown" -lt "$messages" ] && [ "$tries" -lt 50 ]; do
        sleep 0.2
        shown=$(grep -c 'flood ' "$work/monitor.out" || true)
        tries=$((tries + 1))
    done
    sleep 1 # the forwarders finish
    kill -- -"$(cat "$work/monitor.sid")"
    wait "$!" 2>/dev/null || true
    [ "$shown" -eq "$messages" ] || echo "warning: the monitor showed $shown of $messages messages" >&2
    echo "$rate"
}

best() {
    awk -v a="${1:-0}" -v b="${2:-0}" 'BEGIN { print (a + 0 > b + 0) ? a : b }'
}

declare -A figure
configs=(none udp tcp json)
for ((round = 0; round < runs; ++round)); do
    for senders in 1 8; do
        for config in "${configs[@]}"; do
            case $config in
            none) words=() ;;
            udp) words=(-syslog "udp://127.0.0.1:$port") ;;
            tcp) words=(-syslog "tcp://127.0.0.1:$port") ;;
            json) words=(-json "$(windows_path "$work/events.json")") ;;
            esac
            figure[$config$senders]=$(best "${figure[$config$senders]:-}" "$(into_file "$senders" "${words[@]}")")
        done
    done
done

printf '%-8s %10s %10s %10s %10s %9s %9s %9s\n' senders "none" "udp" "tcp" "json" "udp/none" "tcp/none" \
    "json/none"
for senders in 1 8; do
    none=${figure[none$senders]}
    printf '%-8s %10s %10s %10s %10s %9s %9s %9s\n' "$senders" "$none" "${figure[udp$senders]}" \
        "${figure[tcp$senders]}" "${figure[json$senders]}" "$(calc "${figure[udp$senders]}" "$none")" \
        "$(calc "${figure[tcp$senders]}" "$none")" "$(calc "${figure[json$senders]}" "$none")"
done
read -r udp_count tcp_count <"$work/counts"
echo "collector received: udp $udp_count, tcp $tcp_count (each of $((runs * 2)) runs sent $messages)"
