#!/usr/bin/env bash
# Text against CSV: files a second of a recursive directory run ("quillet -d <tree>\*.dll -s")
# over a tree made of the DLLs of the build's Wine prefix, written once as the text report and
# once as a CSV document ("-csv"), both into a file.
#
#   bench/csv_throughput.sh [build-dir]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs). The tree holds
# a third of the DLLs at its top, a third one level down and a third two levels down. Each figure is the fastest of BENCH_RUNS rounds
# (default 3), the two runs alternating within each round; the "net" columns take off quillet's
# start-up, measured with a pattern that matches nothing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
require_files "$run" "$quillet" "$build/bench/empty_program.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$quillet" "$work/"
quillet="$work/quillet.exe"
warm_up_wine

if [ "$(build_arch)" = x86_64 ]; then system=system32; else system=syswow64; fi
mkdir -p "$work/tree/one/two"
index=0
for dll in "$wine_prefix/drive_c/windows/$system"/*.dll; do
    case $((index % 3)) in
    0) cp "$dll" "$work/tree/" ;;
    1) cp "$dll" "$work/tree/one/" ;;
    2) cp "$dll" "$work/tree/one/two/" ;;
    esac
    index=$((index + 1))
done
cat "$work"/tree/*.dll "$work"/tree/one/*.dll "$work"/tree/one/two/*.dll >/dev/null
files=$(find "$work/tree" -name '*.dll' | wc -l)
pattern=$(windows_path "$work/tree")'\*.dll'
nothing=$(windows_path "$work/tree")'\*.none'

# Both runs must have reported every file, or the rates compare different work.
bench_out="$work/text.out" time_once "$run" "$quillet" -d "$pattern" -s >/dev/null
bench_out="$work/csv.out" time_once "$run" "$quillet" -d "$pattern" -s -csv >/dev/null
text_files=$(grep -c '^File Version Info for:' "$work/text.out" || true)
csv_files=$(grep -a '^Z:' "$work/csv.out" | cut -d, -f1 | sort -u | wc -l)
if [ "$text_files" != "$files" ] || [ "$csv_files" != "$files" ]; then
    echo "files $files: the text run reported $text_files, the CSV run $csv_files" >&2
    exit 1
fi

start_ms="" text_ms="" csv_ms=""
for ((round = 0; round < runs; ++round)); do
    keep_best start_ms "$(time_once "$run" "$quillet" -d "$nothing" -s)"
    keep_best text_ms "$(bench_out="$work/text.out" time_once "$run" "$quillet" -d "$pattern" -s)"
    keep_best csv_ms "$(bench_out="$work/csv.out" time_once "$run" "$quillet" -d "$pattern" -s -csv)"
done
text_net=$((text_ms - start_ms))
csv_net=$((csv_ms - start_ms))

echo "$files DLLs from the prefix's $system in a tree three levels deep;" \
    "text report $(wc -c <"$work/text.out") bytes, CSV document $(wc -c <"$work/csv.out") bytes" \
    "($(grep -ac $'\r$' "$work/csv.out") lines)"
echo "Start-up with a pattern that matches nothing (ms, Wine start included): $start_ms"
echo
printf '%-22s %9s %9s %9s %9s\n' program ms "net ms" files/s "net f/s"
printf '%-22s %9s %9s %9s %9s\n' "quillet -d -s" "$text_ms" "$text_net" \
    "$(calc "$files * 1000" "$text_ms")" "$(calc "$files * 1000" "$text_net")"
printf '%-22s %9s %9s %9s %9s\n' "quillet -d -s -csv" "$csv_ms" "$csv_net" \
    "$(calc "$files * 1000" "$csv_ms")" "$(calc "$files * 1000" "$csv_net")"
echo
echo "ratio (CSV files/s / text files/s): $(calc "$text_ms" "$csv_ms"), net $(calc "$text_net" "$csv_net")"
