#!/usr/bin/env bash
# Directory run throughput: files a second of "quillet -d <folder>\*.dll" over a copy of the
# DLLs of the build's Wine prefix (a few hundred real PE files), beside version_reader, which
# only lists the same pattern and calls GetFileVersionInfoSizeW, GetFileVersionInfoW and
# VerQueryValueW (translations and the twelve standard entries) for each file; prints the ratio.
#
#   bench/directory_throughput.sh [build-dir]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs). The 32-bit build reads the prefix's syswow64, the 64-bit
# build its system32. Both programs write into a file, so the console is not what is timed;
# quillet's run into /dev/null (a character device, as NUL is) is timed too.
# Each figure is the fastest of BENCH_RUNS rounds (default 3); the "net" columns take off each
# program's start-up, measured with a pattern that matches nothing. The same run with -sha256
# is timed with HashingThreads=1 and with the default (digests computed ahead on every core).
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
reader="$build/bench/version_reader.exe"
no_colour="$build/bench/quillet_no_colour.exe"
costs="$build/bench/output_cost.exe"
require_files "$run" "$quillet" "$reader" "$no_colour" "$costs" "$build/bench/empty_program.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$quillet" "$no_colour" "$work/"
mkdir "$work/one"
cp "$quillet" "$work/one/quillet.exe"
printf '[Hashing]\r\nHashingThreads=1\r\n' >"$work/one/quillet.ini"
quillet="$work/quillet.exe"
no_colour="$work/quillet_no_colour.exe"
warm_up_wine

if [ "$(build_arch)" = x86_64 ]; then system=system32; else system=syswow64; fi
mkdir "$work/dlls" "$work/none"
cp "$wine_prefix/drive_c/windows/$system"/*.dll "$work/dlls/"
cat "$work/dlls"/*.dll >/dev/null
files=$(find "$work/dlls" -name '*.dll' | wc -l)
pattern=$(windows_path "$work/dlls")'\*.dll'
nothing=$(windows_path "$work/none")'\*.dll'

# Both must have seen every file, or the rates compare different work.
bench_out="$work/quillet.out" time_once "$run" "$quillet" -d "$pattern" >/dev/null
bench_out="$work/reader.out" time_once "$run" "$reader" "$pattern" >/dev/null
reported=$(grep -c '^File Version Info for:' "$work/quillet.out" || true)
read_entries=$(tr -d '\r' <"$work/reader.out" | sed -n 's/.*entries=\([0-9]*\).*/\1/p')
with_version=$(grep -c '^\[FileName\]' "$work/quillet.out" || true)
reader_version=$(tr -d '\r' <"$work/reader.out" | sed -n 's/.*with_version=\([0-9]*\).*/\1/p')
if [ "$reported" != "$files" ] || [ "$read_entries" != "$files" ] || [ "$with_version" != "$reader_version" ]; then
    echo "files $files: quillet reported $reported ($with_version with a version resource)," \
        "the reader $read_entries ($reader_version)" >&2
    exit 1
fi

# Round after round, every command once: a busy moment of the machine then slows all of them
# alike instead of one, and the fastest of the rounds counts.
quillet_start="" reader_start="" quillet_ms="" reader_ms="" null_ms="" no_colour_ms="" sha_one_ms="" sha_ms=""
for ((round = 0; round < runs; ++round)); do
    keep_best quillet_start "$(bench_out="$work/start.out" time_once "$run" "$quillet" -d "$nothing")"
    keep_best reader_start "$(time_once "$run" "$reader" "$nothing")"
    keep_best quillet_ms "$(bench_out="$work/quillet.out" time_once "$run" "$quillet" -d "$pattern")"
    keep_best null_ms "$(bench_out=/dev/null time_once "$run" "$quillet" -d "$pattern")"
    keep_best no_colour_ms "$(bench_out="$work/no_colour.out" time_once "$run" "$no_colour" -d "$pattern")"
    keep_best reader_ms "$(bench_out="$work/reader.out" time_once "$run" "$reader" "$pattern")"
    keep_best sha_one_ms "$(bench_out="$work/sha_one.out" time_once "$run" "$work/one/quillet.exe" -d "$pattern" -sha256)"
    keep_best sha_ms "$(bench_out="$work/sha.out" time_once "$run" "$quillet" -d "$pattern" -sha256)"
done
cmp -s "$work/quillet.out" "$work/no_colour.out" || { echo "quillet_no_colour reported differently" >&2; exit 1; }
cmp -s "$work/sha_one.out" "$work/sha.out" || { echo "the threaded -sha256 run reported differently" >&2; exit 1; }
quillet_net=$((quillet_ms - quillet_start))
no_colour_net=$((no_colour_ms - quillet_start))
null_net=$((null_ms - quillet_start))
reader_net=$((reader_ms - reader_start))

echo "$files DLLs from the prefix's $system, $with_version with a version resource;" \
    "quillet's report: $(wc -c <"$work/quillet.out") bytes"
echo "Start-up with a pattern that matches nothing (ms, Wine start included):" \
    "quillet $quillet_start, version_reader $reader_start"
echo
printf '%-16s %9s %9s %9s %9s\n' program ms "net ms" files/s "net f/s"
printf '%-16s %9s %9s %9s %9s\n' "quillet -d" "$quillet_ms" "$quillet_net" \
    "$(calc "$files * 1000" "$quillet_ms")" "$(calc "$files * 1000" "$quillet_net")"
printf '%-16s %9s %9s %9s %9s\n' "  to /dev/null" "$null_ms" "$null_net" \
    "$(calc "$files * 1000" "$null_ms")" "$(calc "$files * 1000" "$null_net")"
printf '%-16s %9s %9s %9s %9s\n' "  no colour calls" "$no_colour_ms" "$no_colour_net" \
    "$(calc "$files * 1000" "$no_colour_ms")" "$(calc "$files * 1000" "$no_colour_net")"
printf '%-16s %9s %9s %9s %9s\n' "-sha256, 1 thr." "$sha_one_ms" "$((sha_one_ms - quillet_start))" \
    "$(calc "$files * 1000" "$sha_one_ms")" "$(calc "$files * 1000" "$((sha_one_ms - quillet_start))")"
printf '%-16s %9s %9s %9s %9s\n' "-sha256, default" "$sha_ms" "$((sha_ms - quillet_start))" \
    "$(calc "$files * 1000" "$sha_ms")" "$(calc "$files * 1000" "$((sha_ms - quillet_start))")"
printf '%-16s %9s %9s %9s %9s\n' version_reader "$reader_ms" "$reader_net" \
    "$(calc "$files * 1000" "$reader_ms")" "$(calc "$files * 1000" "$reader_net")"
echo
echo "ratio (quillet files/s / reader files/s): $(calc "$reader_ms" "$quillet_ms")," \
    "net $(calc "$reader_net" "$quillet_net")"
echo "-sha256 with the default threads against HashingThreads=1 (time ratio, below 1 is faster):" \
    "$(calc "$sha_ms" "$sha_one_ms")"
echo "(\"to /dev/null\": the same run into a character device that is no console, as NUL is;"
echo "\"no colour calls\": quillet_no_colour.exe, quillet linked with colour routines that do"
echo " nothing; its report is byte for byte the same, so the difference is what the console colour"
echo " calls cost when the output is not a console)"
echo
echo "Cost of one piece of a report, output redirected (output_cost.exe, microseconds a call):"
sample_dll=$(find "$work/dlls" -name '*.dll' -print -quit)
"$run" "$costs" 2000 "$(windows_path "$sample_dll")" \
    2>&1 >"$work/costs.out" </dev/null | tr -d '\r'
