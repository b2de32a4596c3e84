# shellcheck shell=bash
# Shared by the benchmark scripts (sourced, not run).
#
# After sourcing: $top (the source tree), $build (the build tree, absolute), $run (its Wine
# wrapper), $wine_prefix (the Wine prefix the wrapper uses), $runs (repetitions per figure,
# BENCH_RUNS, default 3) and the routines below. The build tree defaults to build/i686, or to
# build/x86_64 where this machine runs no 32-bit programs; a benchmark asked for the 32-bit
# build there says it is skipped and ends.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../cmake/wine-loaders.sh
. "$top/cmake/wine-loaders.sh"
if quillet_runs_32bit; then default_arch=i686; else default_arch=x86_64; fi
build=$(cd "${1:-$top/build/$default_arch}" && pwd)
run="$build/wine-run"
wine_prefix=$(quillet_wine_prefix "$build/wineprefix")
runs=${BENCH_RUNS:-3}

require_files() {
    local file
    for file in "$@"; do
        [ -e "$file" ] || { echo "missing $file: build the tree first (bench/run_all.sh builds it)" >&2; exit 1; }
    done
}

# The Windows name of a Unix path (Wine's drive Z: is the Unix root).
windows_path() {
    echo "Z:${1//\//\\}"
}

now_ns() {
    date +%s%N
}

# Milliseconds that one run of the command takes; its standard output goes to the file named
# by $bench_out (default /dev/null), its standard error to /dev/null.
time_once() {
    local start end
    start=$(now_ns)
    "$@" >"${bench_out:-/dev/null}" 2>/dev/null </dev/null || true
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}

# The fastest of $runs runs, in milliseconds: on a shared machine the slower runs measure the
# neighbours, not the program.
time_best() {
    local best="" ms index
    for ((index = 0; index < runs; ++index)); do
        ms=$(time_once "$@")
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}

# keep_best NAME MS: sets the variable NAME to MS when it is empty or larger. Scripts time
# round after round, every command once, so that a busy moment slows all of them alike.
keep_best() {
    local name=$1 ms=$2
    if [ -z "${!name:-}" ] || [ "$ms" -lt "${!name}" ]; then printf -v "$name" '%s' "$ms"; fi
}

# awk arithmetic with two decimals; "n/a" when it divides by zero or less.
calc() {
    awk "BEGIN { d = $2; if (d <= 0) print \"n/a\"; else printf \"%.2f\", ($1) / d }"
}

# The build's architecture from its toolchain file: i686 or x86_64.
build_arch() {
    if grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$build/CMakeCache.txt" 2>/dev/null; then
        echo x86_64
    else
        echo i686
    fi
}

# Makes sure the build's Wine prefix exists (the first start creates it, which takes seconds
# and must not be timed).
warm_up_wine() {
    "$run" "$build/bench/empty_program.exe" >/dev/null 2>&1 </dev/null || true
}

if [ "$(build_arch)" = i686 ] && ! quillet_runs_32bit; then
    echo "skipped: this machine runs no 32-bit programs, so the i686 build cannot run here"
    exit 0
fi
