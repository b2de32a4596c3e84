#!/usr/bin/env bash
# Comparing with a baseline against writing one: a recursive directory run with "-md5 -csv"
# over a generated tree, beside the same run with "-compare BASELINE" (text and "-csv") after 1%
# of the files changed; and the peak memory of loading and matching baselines of a quarter, a
# half and all of the rows.
#
#   bench/compare_throughput.sh [build-dir]
#
# BENCH_ROWS (default 100000) small files, a thousand to a folder, each one row of the baseline
# that quillet itself writes. Each time is the fastest of BENCH_RUNS rounds (default 5), the
# runs alternating within each round. The memory figures come from baselines of
# BENCH_BASELINE_ROWS (default 100000) rows made from the first row of that one, compared with
# a pattern that matches nothing, so that they hold the baseline and the matching alone.
set -euo pipefail
export BENCH_RUNS=${BENCH_RUNS:-5}
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
probe="$build/bench/peak_memory.exe"
require_files "$run" "$quillet" "$probe" "$build/bench/empty_program.exe"
rows=${BENCH_ROWS:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$quillet" "$work/"
quillet="$work/quillet.exe"
warm_up_wine

for ((file = 0; file < rows; ++file)); do
    folder="$work/tree/d$((file / 1000))"
    [ -d "$folder" ] || mkdir -p "$folder"
    printf 'file %d\n' "$file" >"$folder/f$((file % 1000)).dat"
done
pattern=$(windows_path "$work/tree")'\*.dat'
baseline="$work/baseline.csv"
"$run" "$quillet" -d "$pattern" -s -md5 -csv >"$baseline" 2>/dev/null </dev/null || true
# 1% of the files change their bytes (and so their size and digest).
for ((file = 0; file < rows; file += 100)); do
    printf 'changed\n' >>"$work/tree/d$((file / 1000))/f$((file % 1000)).dat"
done
cat "$work"/tree/*/*.dat >/dev/null

bench_out="$work/compare.out" time_once "$run" "$quillet" -d "$pattern" -s -compare "$(windows_path "$baseline")" \
    >/dev/null
summary=$(tail -n 1 "$work/compare.out" | tr -d '\r')
expected="$((rows - rows / 100 - (rows % 100 > 0))) unchanged, $((rows / 100 + (rows % 100 > 0))) changed, 0 added"
if [ "${summary#"$expected"}" = "$summary" ]; then
    echo "the comparison found \"$summary\", not \"$expected, ...\"" >&2
    exit 1
fi

csv_ms="" compare_ms="" compare_csv_ms=""
for ((round = 0; round < runs; ++round)); do
    keep_best csv_ms "$(time_once "$run" "$quillet" -d "$pattern" -s -md5 -csv)"
    keep_best compare_ms "$(time_once "$run" "$quillet" -d "$pattern" -s -compare "$(windows_path "$baseline")")"
    keep_best compare_csv_ms "$(time_once "$run" "$quillet" -d "$pattern" -s -compare "$(windows_path "$baseline")" -csv)"
done

echo "$rows files in $(((rows + 999) / 1000)) folders; baseline $(wc -c <"$baseline") bytes," \
    "$(($(grep -ac $'\r$' "$baseline") - 1)) rows; $summary"
echo
printf '%-36s %9s %9s %9s\n' run ms files/s "vs -csv"
printf '%-36s %9s %9s %9s\n' "quillet -d -s -md5 -csv" "$csv_ms" "$(calc "$rows * 1000" "$csv_ms")" 1.00
printf '%-36s %9s %9s %9s\n' "quillet -d -s -compare BASELINE" "$compare_ms" "$(calc "$rows * 1000" "$compare_ms")" \
    "$(calc "$compare_ms" "$csv_ms")"
printf '%-36s %9s %9s %9s\n' "quillet -d -s -compare BASELINE -csv" "$compare_csv_ms" \
    "$(calc "$rows * 1000" "$compare_csv_ms")" "$(calc "$compare_csv_ms" "$csv_ms")"

# Wine's figures after the exit can come back empty: the larger of both readings counts.
figure() {
    echo "$1" | sed -n "s/^.*: .*$2=\([0-9.]*\) MiB.*/\1/p" | sort -n | tail -n 1
}

# A baseline of the given rows, every one a copy of the first file's row under its own path.
generate_baseline() {
    local count=$1
    head -n 1 "$baseline"
    # The folder through the environment: awk would read its backslashes as escapes.
    sed -n 2p "$baseline" | folder="$(windows_path "$work/gone")" awk -v count="$count" '{
        folder = ENVIRON["folder"]
        rest = substr($0, index($0, ","))
        for (row = 0; row < count; ++row)
            printf "%s\\d%d\\f%d.dat%s\n", folder, row / 1000, row % 1000, rest
    }'
}

echo
echo "Loading and matching generated baselines against a pattern that matches nothing"
echo "(every row removed; the text report goes to a file):"
printf '%-14s %12s %9s %12s %12s\n' "baseline rows" "bytes" "ms" "PeakWS MiB" "PeakPF MiB"
nothing=$(windows_path "$work/tree")'\*.none'
for part in 4 2 1; do
    part_rows=$((${BENCH_BASELINE_ROWS:-100000} / part))
    generate_baseline "$part_rows" >"$work/part.csv"
    part_csv=$(windows_path "$work/part.csv")
    part_ms=""
    for ((round = 0; round < runs; ++round)); do
        keep_best part_ms "$(time_once "$run" "$quillet" -d "$nothing" -s -compare "$part_csv")"
    done
    report=$("$run" "$probe" "$(windows_path "$quillet")" -d "$nothing" -s -compare "$part_csv" \
        2>&1 >/dev/null </dev/null | tr -d '\r')
    printf '%-14s %12s %9s %12s %12s\n' "$part_rows" "$(wc -c <"$work/part.csv")" "$part_ms" \
        "$(figure "$report" PeakWorkingSetSize)" "$(figure "$report" PeakPagefileUsage)"
done
