#!/usr/bin/env bash
# Digests of many large files on every core: "quillet -d <tree>\* -s -sha256" over about 700 MiB
# in 18 files of 1 to 128 MiB (a third of them in a subfolder), once with HashingThreads=1 (one
# file after the other on the main thread) and once with the default (one thread per logical
# processor, at most 8); prints both times, the factor and the load average.
#
#   bench/hash_ahead.sh [build-dir]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs). Each figure is
# the fastest of BENCH_RUNS rounds (default 3), the two runs alternating within each round;
# the files are in the page cache before they are timed, and both reports must be byte for
# byte the same.
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
require_files "$run" "$quillet" "$build/bench/empty_program.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/one" "$work/auto" "$work/tree/sub"
cp "$quillet" "$work/one/quillet.exe"
cp "$quillet" "$work/auto/quillet.exe"
printf '[Hashing]\r\nHashingThreads=1\r\n' >"$work/one/quillet.ini"
warm_up_wine

index=0
total=0
for mib in 128 128 96 64 64 48 32 32 32 24 16 16 8 8 4 2 1 1; do
    folder="$work/tree"
    if ((index % 3 == 2)); then folder="$work/tree/sub"; fi
    head -c $((mib << 20)) /dev/urandom >"$folder/f$index.bin"
    index=$((index + 1))
    total=$((total + mib))
done
cat "$work/tree"/*.bin "$work/tree/sub"/*.bin >/dev/null
pattern=$(windows_path "$work/tree")'\*'

one_ms="" auto_ms=""
for ((round = 0; round < runs; ++round)); do
    keep_best one_ms "$(bench_out="$work/one.out" time_once "$run" "$work/one/quillet.exe" -d "$pattern" -s -sha256)"
    keep_best auto_ms "$(bench_out="$work/auto.out" time_once "$run" "$work/auto/quillet.exe" -d "$pattern" -s -sha256)"
done
cmp -s "$work/one.out" "$work/auto.out" || { echo "the threaded run reported differently" >&2; exit 1; }
digests=$(grep -c '^File SHA256: ' "$work/one.out" || true)
[ "$digests" = "$index" ] || { echo "$digests digests for $index files" >&2; exit 1; }

echo "$index files, $total MiB, $(nproc) logical processors, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %9s %9s\n' run ms "MB/s"
printf '%-28s %9s %9s\n' "HashingThreads=1" "$one_ms" "$(calc "$total * 1048576 / 1000" "$one_ms")"
printf '%-28s %9s %9s\n' "default" "$auto_ms" "$(calc "$total * 1048576 / 1000" "$auto_ms")"
echo "factor (one thread's time / the default's): $(calc "$one_ms" "$auto_ms")"
