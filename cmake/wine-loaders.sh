# shellcheck shell=sh
# Which Wine loaders this machine can start; sourced by the Wine wrapper, the scripts and the
# benchmarks, so that they all take the same decision.
#
# Some kernels run no 32-bit programs ("32-bit emulation disabled"). There Wine's 32-bit loader
# fails at once with "Exec format error", and /usr/bin/wine picks that loader whenever wine32 is
# installed, for 64-bit programs too. Only the 64-bit loader, named in WINELOADER, works there.
# QUILLET_NO_32BIT=1 forces that answer on any machine, so the fallback can be exercised.

quillet_wine32_loader=${QUILLET_WINE32_LOADER:-/usr/lib/wine/wine}
quillet_wine64_loader=${QUILLET_WINE64_LOADER:-/usr/lib/wine/wine64}

# True when 32-bit programs run here. Asked at every start: the answer costs a failed exec.
quillet_runs_32bit() {
    [ "${QUILLET_NO_32BIT:-0}" = 1 ] && return 1
    [ -x "$quillet_wine32_loader" ] || return 1
    # exec, so that no shell takes a refused binary for a script of its own.
    (exec "$quillet_wine32_loader" --version) >/dev/null 2>&1 </dev/null
}

# Debian's Wine loaders start without a preloader, so nothing keeps the C library's heap off the
# page at 0x7ffe0000 where Wine maps the shared user data. The 64-bit loader's image lies 48 MiB
# below that page, and recent Linux kernels begin a 64-bit program's heap anywhere in the
# gigabyte after its image: now and then the heap covers the page before Wine maps it, and Wine
# ends within milliseconds with status 1 ("failed to map the shared user data", an error line
# that WINEDEBUG=-all hides). Without address randomisation the heap begins right after the
# image. Prints the launcher that asks for it ("setarch <machine> -R") and is true when the system
# grants it; some containers refuse the personality, and then it prints nothing and is false.
# One uname and one trial of setarch per call: every Wine start asks this once.
quillet_fixed_layout() {
    quillet_machine=$(uname -m)
    setarch "$quillet_machine" -R true >/dev/null 2>&1 || return 1
    echo "setarch $quillet_machine -R"
}

# The prefix a build tree uses: a prefix that the 64-bit loader made alone lacks its 32-bit
# half, so the fallback never shares one with the normal path.
quillet_wine_prefix() {
    if quillet_runs_32bit; then echo "$1"; else echo "$1-64only"; fi
}
