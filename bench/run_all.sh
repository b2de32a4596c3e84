#!/usr/bin/env bash
# Builds what the benchmarks need (if it is not built yet) and runs every benchmark of this
# folder, printing their figures.
#
#   bench/run_all.sh [i686|x86_64] [build-dir]
#
# The architecture defaults to i686 (x86_64 where this machine runs no 32-bit programs: there an
# i686 run says it is skipped), the build directory to build/<arch> (the one that
# scripts/build.sh makes). BENCH_RUNS (default 3) sets how many runs each figure takes the
# fastest of. Nothing here is a test: the figures depend on the machine and on what else it runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../cmake/wine-loaders.sh
. "$top/cmake/wine-loaders.sh"
if quillet_runs_32bit; then arch=${1:-i686}; else arch=${1:-x86_64}; fi
build=${2:-$top/build/$arch}
case "$arch" in
i686 | x86_64) ;;
*) echo "usage: bench/run_all.sh [i686|x86_64] [build-dir]" >&2; exit 2 ;;
esac
if [ "$arch" = i686 ] && ! quillet_runs_32bit; then
    echo "i686 benchmarks: skipped (this machine runs no 32-bit programs)"
    exit 0
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j 2 --target quillet version_reader peak_memory hash_split empty_program output_cost \
    quillet_no_colour >/dev/null
if [ -f "$top/bench/monitor_throughput.sh" ]; then
    cmake --build "$build" -j 2 --target quilletdbg traffic_sender monitor_on_console >/dev/null ||
        echo "warning: the monitor benchmark's programs did not build" >&2
fi

section() {
    echo
    echo "=== $1"
}

echo "quillet benchmarks, $arch, $(nproc) cores, $("$quillet_wine64_loader" --version 2>/dev/null || echo 'Wine ?'), $(date -u '+%Y-%m-%d %H:%M UTC')," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
# One benchmark that fails says so and the others still run.
bench() {
    section "$1 (bench/$2)"
    bash "$top/bench/$2" "$build" || echo "warning: bench/$2 failed" >&2
}

bench "Hashing throughput" hash_throughput.sh
bench "Peak memory of hashing" peak_memory.sh
bench "Directory run throughput" directory_throughput.sh
bench "Digests of large files on every core" hash_ahead.sh
bench "Text and CSV runs over a tree" csv_throughput.sh
if [ -f "$top/bench/monitor_throughput.sh" ]; then
    bench "Monitor throughput" monitor_throughput.sh
fi
if [ -f "$top/bench/forward_throughput.sh" ]; then
    bench "Monitor into a file with syslog collectors and JSON lines" forward_throughput.sh
fi
