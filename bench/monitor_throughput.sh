#!/usr/bin/env bash
# Messages per second through quilletdbg, with 1 and with 8 concurrent senders, printing into a
# file and onto a console, beside two readers that print nothing: a bare reader that only
# answers the channel's events, and the limit reader that also looks up every sender with one
# process snapshot, as the monitor must. Prints the rates and the monitor's ratios to both.
#
#   bench/monitor_throughput.sh [build-dir] [messages]
#   bench/monitor_throughput.sh [build-dir] names
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs), messages (per
# run, split among the senders) to 800. MONITOR=<path to a quilletdbg.exe> measures that
# program instead of the build's (an older build, say). Each figure is the best of BENCH_RUNS
# rounds (default 3); the programs alternate within a round.
#
# "file" runs the monitor as "quilletdbg > file" does: each message costs the process lookup,
# the print and the flush. "console" gives it a console of its own (bench/monitor_on_console,
# the tests' console harness). "-queue" rows run the monitor with that word (the sender looked
# up from a cache, the console painted by a thread of its own). No other monitor or channel
# reader may run in the build's Wine prefix meanwhile (the test suite takes the channel too).
#
# "names" instead runs 8 loops of 20 short-lived senders (blurt.exe, one message each) into
# the monitor without and with "-queue", and prints for each round how many of the 160
# messages carried the sender's name rather than "N/A".
set -euo pipefail
source "$(dirname "$0")/common.sh"
messages=${2:-800}
blurt="$build/blurt/blurt.exe"
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

# Starts the monitor with the given words, its output into $work/monitor.out. In a session of
# its own: Wine starts the program as a process apart from the one this script knows, and the
# session's process group holds both.
start_monitor() {
    setsid sh -c 'echo $$ >"$1"; shift; exec "$@"' monitor "$work/monitor.sid" "$run" "$monitor" "$@" \
        >"$work/monitor.out" 2>&1 </dev/null &
}

stop_monitor() {
    kill -- -"$(cat "$work/monitor.sid")"
    wait || true
}

into_file() {
    local senders=$1
    shift
    start_monitor "$@"
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
    stop_monitor
    [ "$shown" -eq "$messages" ] || echo "warning: the monitor showed $shown of $messages messages" >&2
    echo "$rate"
}

onto_console() {
    local senders=$1
    shift
    "$run" "$on_console" "$senders" $((messages / senders)) "Z:${monitor//\//\\}" "$@" </dev/null >"$work/console.out" 2>&1 ||
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

# Counts "named total" of 8 x 20 short-lived senders through the monitor run with the words.
named_senders() {
    start_monitor "$@"
    # The monitor has the channel once a message of ours comes through.
    local tries=0
    until grep -q 'names-ready' "$work/monitor.out" 2>/dev/null || [ "$tries" -ge 100 ]; do
        "$run" "$blurt" names-ready >/dev/null 2>&1 </dev/null || true
        sleep 0.2
        tries=$((tries + 1))
    done
    local loops=() loop
    for ((loop = 0; loop < 8; ++loop)); do
        (for ((i = 0; i < 20; ++i)); do "$run" "$blurt" "names-$loop-$i" >/dev/null 2>&1 </dev/null; done) &
        loops+=("$!")
    done
    wait "${loops[@]}"
    local shown=0
    tries=0
    while [ "$shown" -lt 160 ] && [ "$tries" -lt 50 ]; do
        sleep 0.2
        shown=$(tr -d '\r' <"$work/monitor.out" | grep -c '::names-[0-9]' || true)
        tries=$((tries + 1))
    done
    stop_monitor
    echo "$(tr -d '\r' <"$work/monitor.out" | grep -c '^blurt\.exe::[0-9]*::names-[0-9]' || true) $shown"
}

if [ "${2:-}" = names ]; then
    [ -e "$blurt" ] || { echo "missing $blurt: build the tree first" >&2; exit 1; }
    printf '%-6s %22s %22s\n' round "named (snapshot)" "named (-queue)"
    for ((round = 0; round < runs; ++round)); do
        read -r plain plain_total < <(named_senders)
        read -r queued queued_total < <(named_senders -queue)
        printf '%-6s %22s %22s\n' "$round" "$plain of $plain_total" "$queued of $queued_total"
    done
    exit 0
fi

declare -A figure
for ((round = 0; round < runs; ++round)); do
    for senders in 1 8; do
        figure[file$senders]=$(best "${figure[file$senders]:-}" "$(into_file "$senders")")
        figure[filequeue$senders]=$(best "${figure[filequeue$senders]:-}" "$(into_file "$senders" -queue)")
        figure[console$senders]=$(best "${figure[console$senders]:-}" "$(onto_console "$senders")")
        figure[consolequeue$senders]=$(best "${figure[consolequeue$senders]:-}" "$(onto_console "$senders" -queue)")
        figure[bare$senders]=$(best "${figure[bare$senders]:-}" "$(through_reader "$senders" bare-read)")
        figure[limit$senders]=$(best "${figure[limit$senders]:-}" "$(through_reader "$senders" snapshot-read)")
    done
done

printf '%-8s %-14s %14s %12s %12s %8s %9s\n' senders output "monitor msg/s" "bare msg/s" "limit msg/s" "to bare" "to limit"
for senders in 1 8; do
    bare=${figure[bare$senders]}
    limit=${figure[limit$senders]}
    for output in file filequeue console consolequeue; do
        rate=${figure[$output$senders]}
        label=${output/queue/ -queue}
        printf '%-8s %-14s %14s %12s %12s %8s %9s\n' "$senders" "$label" "$rate" "$bare" "$limit" \
            "$(ratio "$rate" "$bare")" "$(ratio "$rate" "$limit")"
    done
done
