#!/usr/bin/env bash
# Messages per second through quilletdbg, with 1 and with 8 concurrent senders, beside a bare
# reader that only answers the channel's events; prints both rates and their ratio.
#
#   bench/monitor_throughput.sh [build-dir] [messages]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs), messages (per run, split among the
# senders) to 800. The monitor prints into a file, as "quilletdbg > file" does, so that each
# message costs the process lookup, the print and the flush. No other monitor or channel
# reader may run in the build's Wine prefix meanwhile (the test suite takes the channel too).
set -euo pipefail
source "$(dirname "$0")/common.sh"
messages=${2:-800}
monitor="$build/quilletdbg/quilletdbg.exe"
traffic="$build/tests/quilletdbg/traffic_sender.exe"
for file in "$run" "$monitor" "$traffic"; do
    [ -e "$file" ] || { echo "missing $file: build the tree with its tests first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints the rate that "traffic_sender flood SENDERS COUNT" reports.
flood_rate() {
    "$run" "$traffic" flood "$1" "$2" | tr -d '\r' | sed -n 's/.*rate=\([0-9.]*\).*/\1/p'
}

through_monitor() {
    local senders=$1
    "$run" "$monitor" >"$work/monitor.out" 2>&1 </dev/null &
    local monitor_pid=$!
    local rate
    rate=$(flood_rate "$senders" $((messages / senders)))
    # The last sender returns as soon as it has handed over its message; give the monitor
    # the moment it needs to print it. The wine process is the monitor itself.
    local shown=0 tries=0
    while [ "$shown" -lt "$messages" ] && [ "$tries" -lt 50 ]; do
        sleep 0.2
        shown=$(grep -c 'flood ' "$work/monitor.out" || true)
        tries=$((tries + 1))
    done
    kill "$monitor_pid"
    wait "$monitor_pid" || true
    [ "$shown" -eq "$messages" ] || echo "warning: the monitor showed $shown of $messages messages" >&2
    echo "$rate"
}

through_bare_reader() {
    local senders=$1
    "$run" "$traffic" bare-read "$messages" >"$work/bare.out" 2>&1 </dev/null &
    local rate
    rate=$(flood_rate "$senders" $((messages / senders)))
    wait || echo "warning: the bare reader missed messages: $(tr -d '\r' <"$work/bare.out")" >&2
    echo "$rate"
}

printf '%-8s %16s %16s %8s\n' senders "monitor msg/s" "bare msg/s" ratio
for senders in 1 8; do
    monitor_rate=$(through_monitor "$senders")
    bare_rate=$(through_bare_reader "$senders")
    ratio=$(awk -v m="$monitor_rate" -v b="$bare_rate" 'BEGIN { if (b > 0) printf "%.2f", m / b; else print "n/a" }')
    printf '%-8s %16s %16s %8s\n' "$senders" "$monitor_rate" "$bare_rate" "$ratio"
done
