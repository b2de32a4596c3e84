#!/usr/bin/env bash
# Fuzzes the image and import hashes with hostile images made from real ones, and prints
# crashes, missing rows, the slowest file beside a clean file of its size, and the peak private
# memory of the run.
#
#   bench/fuzz_images.sh [build-dir]
#
# Sources: BENCH_FUZZ_SOURCES (default 30) PE files of each architecture, 20 to 200 KiB, from
# the x86_64 build's Wine prefix (system32: 64-bit, syswow64: 32-bit; the build's own prefix
# when that one is missing). Each gives BENCH_FUZZ_PER_IMAGE (default 36) hostile files
# (fuzz_images.exe make: import and certificate-table mutations, crafted import tables), seed
# BENCH_FUZZ_SEED (default 27). Then:
#   - one "quillet -d CORPUS\* -csv -imphash -imagesha256 -imagesha1" with
#     PrintSignatureInformation=1 (every file's signature verdict too), under peak_memory.exe:
#     its exit code must be 18, its standard error empty of crash texts, every file must have
#     its row;
#   - "quillet -verify FILE" for every BENCH_FUZZ_VERIFY_EVERY-th file (default 8): crash
#     texts, and exit codes other than the verdicts' 0 to 3 (Wine passes on the low byte of an
#     exception code: 5 for an access violation);
#   - fuzz_images.exe time: the same rows file by file in one process, the slowest file and the
#     clean source nearest to its size.
set -euo pipefail
source "$(dirname "$0")/common.sh"
quillet="$build/quillet/quillet.exe"
maker="$build/bench/fuzz_images.exe"
probe="$build/bench/peak_memory.exe"
require_files "$run" "$quillet" "$maker" "$probe"
sources=${BENCH_FUZZ_SOURCES:-30}
per_image=${BENCH_FUZZ_PER_IMAGE:-36}
seed=${BENCH_FUZZ_SEED:-27}
verify_every=${BENCH_FUZZ_VERIFY_EVERY:-8}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/clean" "$work/program"
cp "$quillet" "$work/program/quillet.exe"
printf '[OutputInformation]\r\nPrintSignatureInformation=1\r\n' >"$work/program/quillet.ini"
warm_up_wine

windows="$top/build/x86_64/wineprefix/drive_c/windows"
[ -d "$windows/syswow64" ] || windows="$wine_prefix/drive_c/windows"
for folder in system32 syswow64; do
    [ -d "$windows/$folder" ] || continue
    find "$windows/$folder" -maxdepth 1 -type f \( -iname '*.dll' -o -iname '*.exe' \) -size +20k -size -200k |
        LC_ALL=C sort | awk -v n="$sources" '{ all[NR] = $0 } END { step = NR / n; if (step < 1) step = 1;
            for (i = 1; i <= NR && c < n; i += step) { print all[int(i)]; ++c } }'
done >"$work/sources.txt"
index=0
while read -r source; do
    cp "$source" "$work/clean/c$(printf %03d "$index")_$(basename "$source")"
    index=$((index + 1))
    windows_path "$source"
done <"$work/sources.txt" >"$work/sources_windows.txt"

echo "build: $build"
"$run" "$maker" make "$(windows_path "$work/sources_windows.txt")" "$(windows_path "$work/corpus")" "$seed" \
    "$per_image" </dev/null | tr -d '\r'
files=$(find "$work/corpus" -type f | wc -l)
echo "corpus: $files files, $(du -sm "$work/corpus" | cut -f1) MiB"

crash_texts='terminate called|unusual way|Unhandled|page fault|wine: '
set +e
"$run" "$probe" "$(windows_path "$work/program/quillet.exe")" -d "$(windows_path "$work/corpus")\\*" -csv \
    -imphash -imagesha256 -imagesha1 >"$work/run.csv" 2>"$work/run.err" </dev/null
set -e
exit_code=$(sed -n 's/^exit code: \([0-9]*\).*/\1/p' "$work/run.err" | tr -d '\r')
peak=$(sed -n 's/^sampled: .*PeakPagefileUsage=\([0-9.]*\) MiB.*/\1/p' "$work/run.err")
crashes=$(grep -Eac "$crash_texts" "$work/run.err" || true)
missing=$(python3 - "$work/run.csv" "$work/corpus" <<'EOF'
import csv, io, os, sys
text = open(sys.argv[1], 'rb').read().decode('utf-8-sig', 'replace')
rows = list(csv.DictReader(io.StringIO(text)))
seen = {row['Path'].replace('\\', '/').rsplit('/', 1)[-1] for row in rows}
print(sum(1 for name in os.listdir(sys.argv[2]) if name not in seen))
EOF
)
damaged=$(grep -ac 'Damaged PE image. (193)' "$work/run.csv" || true)
echo "directory run: exit code ${exit_code:-none} (18 expected), crash texts on standard error: $crashes," \
    "files without a row: $missing, rows with Damaged PE image: $damaged"
echo "peak private memory (PeakPagefileUsage, sampled): ${peak:-n/a} MiB"

verify_runs=0 verify_crashes=0
index=0
for file in "$work"/corpus/*; do
    index=$((index + 1))
    [ $((index % verify_every)) -eq 0 ] || continue
    verify_runs=$((verify_runs + 1))
    set +e
    "$run" "$work/program/quillet.exe" -verify "$(windows_path "$file")" >/dev/null 2>"$work/verify.err" </dev/null
    code=$?
    set -e
    if [ "$code" -gt 3 ] || grep -Eaq "$crash_texts" "$work/verify.err"; then
        verify_crashes=$((verify_crashes + 1))
        echo "verify crash: $(basename "$file") exit $code"
    fi
done
echo "-verify: $verify_runs files, crashes: $verify_crashes"

"$run" "$maker" time "$(windows_path "$work/corpus")" "$(windows_path "$work/clean")" </dev/null | tr -d '\r'
