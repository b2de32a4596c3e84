#!/usr/bin/env bash
# Peak memory of "quillet <file> -md5 -p" and "-sha1 -p" on a 256 MiB file, beside the same
# on a 1-byte file, and of "-md5 -p" on a sparse file of 4 GiB + 5 bytes, as the system counts it for the child process (peak_memory.exe starts
# quillet with CreateProcessW and reads GetProcessMemoryInfo). Prints MiB.
#
#   bench/peak_memory.sh [build-dir]
#
# Wine 8 answers GetProcessMemoryInfo for a process that has ended with zeros, so the figures
# that count are the ones sampled while quillet runs (every 5 ms; the peaks only grow, so the
# last sample before the end holds them). /usr/bin/time's maximum resident size of the same
# run, seen from Linux, is printed beside them as a check when it is installed (32-bit builds
# only: a 64-bit program does not run in a process that time waits for).
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
probe="$build/bench/peak_memory.exe"
require_files "$run" "$quillet" "$probe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$quillet" "$work/quillet.exe"
warm_up_wine
printf 'x' >"$work/one.bin"
head -c $((256 << 20)) /dev/urandom >"$work/f256.bin"
# Takes no disk space where the file system keeps holes; reading it is hashing 4 GiB of zeros.
truncate -s $(((4 << 30) + 5)) "$work/sparse4g.bin"

# One line of figures for quillet hashing the file with the algorithm.
measure() {
    local file=$1 algorithm=$2 report linux=""
    report=$("$run" "$probe" "$(windows_path "$work/quillet.exe")" "$(windows_path "$file")" "-$algorithm" -p \
        2>&1 >/dev/null </dev/null | tr -d '\r')
    # Only a 32-bit program runs in the process that time waits for; a 64-bit one does not.
    if [ -x /usr/bin/time ] && [ "$(build_arch)" = i686 ]; then
        # quillet's plain digest exits with the last error its run left, which time passes on.
        linux=$({ /usr/bin/time -f '%M' "$run" "$work/quillet.exe" "$(windows_path "$file")" "-$algorithm" -p \
            2>&1 >/dev/null </dev/null || true; } | tail -n 1)
        linux=$(awk -v k="$linux" 'BEGIN { printf "%.1f", k / 1024 }')
    fi
    printf '%-5s %-12s %12s %12s %12s %12s %12s\n' "$algorithm" "$(basename "$file")" \
        "$(figure "$report" sampled PeakWorkingSetSize)" "$(figure "$report" sampled PeakPagefileUsage)" \
        "${linux:-n/a}" "$(figure "$report" "after exit" PeakWorkingSetSize)" \
        "$(figure "$report" "after exit" PeakPagefileUsage)"
}

# The MiB that peak_memory.exe printed on its line "<label>: ..." for one counter.
figure() {
    echo "$1" | sed -n "s/^$2: .*$3=\([0-9.]*\) MiB.*/\1/p"
}

printf '%-5s %-12s %12s %12s %12s %12s %12s\n' "" "" "sampled" "sampled" "Linux" "after exit" "after exit"
printf '%-5s %-12s %12s %12s %12s %12s %12s\n' algo file "PeakWS MiB" "PeakPF MiB" "maxRSS MiB" "PeakWS MiB" \
    "PeakPF MiB"
for algorithm in md5 sha1; do
    measure "$work/one.bin" "$algorithm"
    measure "$work/f256.bin" "$algorithm"
done
measure "$work/sparse4g.bin" md5
