#!/usr/bin/env bash
# Messages per second through quilletdbg, with 1 and with 8 concurrent senders, printing into a
# file and onto a console, beside two readers that print nothing: a bare reader that only
# answers the channel's events, and the limit reader that also looks up every sender with one
# process snapshot, as the monitor must. Prints the rates and the monitor's ratios to both.
#
#   bench/monitor_throughput.sh [build-dir] [messages]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs), messages (per
# run, split among the senders) to 800. MONITOR=<path to a quilletdbg.exe> measures that
# program instead of the build's (an older build, say). Each figure is the best of BENCH_RUNS
# rounds (default 3); the programs alternate within a round.
#
# "file" runs the monitor as "quilletdbg > file" does: each message costs the process lookup,
# the print and the flush. "console" gives it a console of its own (bench/monitor_on_console,
# the tests' console harness). No other monitor or channel reader may run in the build's Wine
# prefix meanwhile (the test suite takes the channel too).
set -euo pipefail
source "$(dirname "$0")/common.sh"
messages=${2:-800}
monitor=${MONITOR:-$build/quilletdbg/quilletdbg.exe}
traffic="$build/tests/quilletdbg/traffic_sender.exe"
on_console="$build/bench/monitor_on_console.exe"
for file in "$run" "$monitor" "$traffic" "$on_console"; do
    [ -e "$file" ] || { echo "missing $file: build the tree with its tests first" >&2; exit 1; }
done
monitor=$(cd "$(dirname "$monitor")" && pwd)/$(basename "$monitor")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The rate in a line that "traffic_sender flood" printed.
rate_of() {
    tr -d '\r' | sed -n 's/.*rate=\([0-9.]*\).*/\1/p'
}

# Prints the rate that "traffic_sender flood SENDERS COUNT" reports.
flood_rate() {
    "$run" "$traffic" flood "$1" "$2" | rate_of
}

into_file() {
    local senders=$1
    # In a session of its own: Wine starts the program as a process apart from the one this
    # script knows, and the session's process group holds both.
    setsid sh -c 'echo $$ >"$1"; shift; exec "$@"' monitor "$work/monitor.sid" "$run" "$monitor" \
        >"$work/monitor.out" 2>&1 </dev/null &
    local rate
    rate=$(flood_rate "$senders" $((messages / senders)))
    # The last sender returns as soon as it has handed over its message; give the monitor
    # the moment it needs to print it.
    local shown=0 tries=0
    while [ "$shown" -lt "$messages" ] && [ "$tries" -lt 50 ]; do
        sleep 0.2
        shown=$(grep -c 'flood ' "$work/monitor.out" || true)
        tries=$((tries + 1))
    done
    kill -- -"$(cat "$work/monitor.sid")"
    wait || true
    [ "$shown" -eq "$messages" ] || echo "warning: the monitor showed $shown of $messages messages" >&2
    echo "$rate"
}

onto_console() {
    local senders=$1
    "$run" "$on_console" "$senders" $((messages / senders)) "Z:${monitor//\//\\}" </dev/null >"$work/console.out" 2>&1 ||
        echo "warning: the monitor on the console did not show every message" >&2
    rate_of <"$work/console.out"
}

# mode: bare-read or snapshot-read.
through_reader() {
    local senders=$1 mode=$2
    "$run" "$traffic" "$mode" "$messages" >"$work/reader.out" 2>&1 </dev/null &
    local rate
    rate=$(flood_rate "$senders" $((messages / senders)))
    wait || echo "warning: the $mode reader missed messages: $(tr -d '\r' <"$work/reader.out")" >&2
    echo "$rate"
}

# The larger of two rates ("" counts as none).
best() {
    awk -v a="${1:-0}" -v b="${2:-0}" 'BEGIN { print (a + 0 > b + 0) ? a : b }'
}

ratio() {
    awk -v m="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", m / b; else print "n/a" }'
}

declare -A figure
for ((round = 0; round < runs; ++round)); do
    for senders in 1 8; do
        figure[file$senders]=$(best "${figure[file$senders]:-}" "$(into_file "$senders")")
        figure[console$senders]=$(best "${figure[console$senders]:-}" "$(onto_console "$senders")")
        figure[bare$senders]=$(best "${figure[bare$senders]:-}" "$(through_reader "$senders" bare-read)")
        figure[limit$senders]=$(best "${figure[limit$senders]:-}" "$(through_reader "$senders" snapshot-read)")
    done
done

printf '%-8s %-8s %14s %12s %12s %8s %9s\n' senders output "monitor msg/s" "bare msg/s" "limit msg/s" "to bare" "to limit"
for senders in 1 8; do
    bare=${figure[bare$senders]}
    limit=${figure[limit$senders]}
    for output in file console; do
        rate=${figure[$output$senders]}
        printf '%-8s %-8s %14s %12s %12s %8s %9s\n' "$senders" "$output" "$rate" "$bare" "$limit" \
            "$(ratio "$rate" "$bare")" "$(ratio "$rate" "$limit")"
    done
done
