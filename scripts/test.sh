#!/usr/bin/env bash
# Fresh Debian machine: installs what is missing, builds both architectures and runs the
# whole test suite of each under Wine. Where this machine runs no 32-bit programs (or
# QUILLET_NO_32BIT=1 says so), the i686 suite is skipped and the x86_64 suite runs through
# Wine's 64-bit loader.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/cmake/wine-loaders.sh"
bash "$top/scripts/install-deps.sh" || exit 1

status=0
passed=0
failed=0
skipped_arch=""
declare -A totals

# Runs one architecture's suite; sets totals[arch] to the number of tests ctest counted.
run_suite() {
    local arch=$1 log summary total bad
    log=$(mktemp)
    (cd "$top/build/$arch" && ctest -j "$(nproc)" --timeout 600 --output-on-failure) 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    rm -f "$log"
    if [ -z "$summary" ]; then
        status=1
        totals[$arch]=0
        return
    fi
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
    totals[$arch]=$total
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

for arch in i686 x86_64; do
    echo "=== $arch: build"
    bash "$top/scripts/build.sh" "$arch" || exit 1
    # Test discovery itself runs the test programs, so a suite that cannot run is not started.
    if [ "$arch" = i686 ] && ! quillet_runs_32bit; then
        echo "i686: skipped (this machine runs no 32-bit programs)"
        skipped_arch=i686
        continue
    fi
    echo "=== $arch: tests"
    run_suite "$arch"
done

if [ "${totals[x86_64]:-0}" -eq 0 ]; then
    echo "the x86_64 suite ran no test" >&2
    status=1
fi
echo
if [ -n "$skipped_arch" ]; then
    # Both architectures build the same suite, so the x86_64 count stands for the skipped one.
    echo "total: $passed passed, $failed failed, ${totals[x86_64]:-0} skipped"
else
    echo "total: $passed passed, $failed failed"
fi
exit $status
