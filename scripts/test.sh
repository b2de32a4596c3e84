#!/usr/bin/env bash
# Fresh Debian machine: installs what is missing, builds both architectures and runs the
# whole test suite of each under Wine.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh" || exit 1

status=0
passed=0
failed=0
for arch in i686 x86_64; do
    echo "=== $arch: build"
    bash "$top/scripts/build.sh" "$arch" || exit 1
    echo "=== $arch: tests"
    log=$(mktemp)
    (cd "$top/build/$arch" && ctest -j "$(nproc)" --timeout 600 --output-on-failure) 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
    if [ -z "$summary" ]; then status=1; else
        passed=$((passed + total - bad)); failed=$((failed + bad)); fi
    rm -f "$log"
done
echo
echo "both architectures: $passed passed, $failed failed"
exit $status
