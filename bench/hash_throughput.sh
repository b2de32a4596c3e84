#!/usr/bin/env bash
# Hashing throughput of "quillet <file> -md5 -p", "-sha1 -p" and "-sha256 -p" on files of 16, 64
# and 256 MiB, beside md5sum, sha1sum and sha256sum on the same files in the same run; prints
# MB/s (10^6 bytes a second) and the ratios.
#
#   bench/hash_throughput.sh [build-dir]
#
# build-dir defaults to build/i686 (build/x86_64 where no 32-bit program runs). Each figure is the fastest of BENCH_RUNS runs (default 3)
# with the file already in the page cache. quillet runs through the build's Wine wrapper, so
# its time holds a Wine process start and quillet's own start-up (settings, user context,
# the crypto provider); both are measured apart and printed, and the "net" columns take
# quillet's start-up (which includes the Wine start) off before dividing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
empty="$build/bench/empty_program.exe"
require_files "$run" "$quillet" "$empty" "$build/bench/hash_split.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of its own, with no quillet.ini beside it: the defaults apply.
cp "$quillet" "$work/quillet.exe"
quillet="$work/quillet.exe"
warm_up_wine

printf 'x' >"$work/one.bin"
for mib in 16 64 256; do
    head -c $((mib << 20)) /dev/urandom >"$work/f$mib.bin"
done
cat "$work"/*.bin >/dev/null

# Prints the digest quillet gives, so that a wrong digest is never timed as a fast one. The
# plain digest exits with the last error its run left (not 0), so the exit code is not checked.
quillet_digest() {
    { "$run" "$quillet" "$(windows_path "$1")" "-$2" -p 2>/dev/null </dev/null || true; } | tr -d '\r\n'
}

# Each row's figures come from rounds that time, one after the other, the empty program,
# quillet on the 1-byte file, quillet on the row's file and the Linux tool: a busy moment of
# the machine then slows them alike. The fastest of the rounds counts; the start costs are the
# fastest seen in any round.
start_wine="" start_md5="" start_sha1="" start_sha256=""
rows=()
for algorithm in md5 sha1 sha256; do
    for mib in 16 64 256; do
        file="$work/f$mib.bin"
        expected=$(${algorithm}sum "$file" | cut -d' ' -f1)
        got=$(quillet_digest "$file" "$algorithm")
        [ "$got" = "$expected" ] || { echo "quillet's $algorithm of $mib MiB is '$got', ${algorithm}sum says '$expected'" >&2; exit 1; }
        quillet_ms="" tool_ms=""
        for ((round = 0; round < runs; ++round)); do
            keep_best start_wine "$(time_once "$run" "$empty")"
            keep_best "start_$algorithm" "$(time_once "$run" "$quillet" "$(windows_path "$work/one.bin")" "-$algorithm" -p)"
            keep_best quillet_ms "$(time_once "$run" "$quillet" "$(windows_path "$file")" "-$algorithm" -p)"
            keep_best tool_ms "$(time_once "${algorithm}sum" "$file")"
        done
        rows+=("$algorithm $mib $quillet_ms $tool_ms")
    done
done

echo "Start costs (ms, the fastest of all rounds): Wine start of an empty program $start_wine;"
echo "  quillet on a 1-byte file: -md5 -p $start_md5, -sha1 -p $start_sha1, -sha256 -p $start_sha256"
echo "  (Wine start included)"
echo
printf '%-6s %5s %9s %9s %9s %9s %9s %9s %7s %7s\n' algo MiB "quillet" "net" "tool" "quillet" "net" "tool" ratio "net"
printf '%-6s %5s %9s %9s %9s %9s %9s %9s %7s %7s\n' "" "" ms ms ms MB/s MB/s MB/s "" ratio
for row in "${rows[@]}"; do
    read -r algorithm mib quillet_ms tool_ms <<<"$row"
    start_name="start_$algorithm"
    net_ms=$((quillet_ms - ${!start_name}))
    megabytes=$(awk -v m="$mib" 'BEGIN { printf "%.4f", m * 1048576 / 1e6 }')
    printf '%-6s %5s %9s %9s %9s %9s %9s %9s %7s %7s\n' "$algorithm" "$mib" "$quillet_ms" "$net_ms" "$tool_ms" \
        "$(calc "$megabytes * 1000" "$quillet_ms")" "$(calc "$megabytes * 1000" "$net_ms")" \
        "$(calc "$megabytes * 1000" "$tool_ms")" "$(calc "$tool_ms" "$quillet_ms")" "$(calc "$tool_ms" "$net_ms")"
done
echo
echo "ratio = quillet MB/s / md5sum|sha1sum|sha256sum MB/s (1 = as fast); net = without quillet's start-up."
echo
echo "Where quillet's time goes on 256 MiB (hash_split.exe: quillet's loop with the same calls, the"
echo "former one-block design step by step, other piece sizes; of $runs runs the one with the lowest"
echo "total as quillet runs it):"
for algorithm in md5 sha1; do
    echo "-- $algorithm"
    best="" best_total=""
    for ((index = 0; index < runs; ++index)); do
        split=$("$run" "$build/bench/hash_split.exe" "$(windows_path "$work/f256.bin")" "$algorithm" </dev/null | tr -d '\r')
        total=$(echo "$split" | sed -n 's/^total as quillet runs it *\([0-9.]*\) ms.*/\1/p')
        if [ -z "$best_total" ] || awk -v a="$total" -v b="$best_total" 'BEGIN { exit !(a < b) }'; then
            best=$split best_total=$total
        fi
    done
    echo "$best"
done
