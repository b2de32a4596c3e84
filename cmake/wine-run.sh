#!/bin/sh
# Runs a Windows program under Wine for ctest and the build.
# The servers and services started here must not inherit the lock (fd 9), or they hold it
# for good. Every program of one build tree shares one prefix and one persistent wineserver, so a
# program start costs tens of milliseconds instead of seconds.
base_prefix=${QUILLET_WINEPREFIX:-}
if [ -z "$base_prefix" ]; then
    echo "wine-run.sh: QUILLET_WINEPREFIX is not set" >&2
    exit 125
fi
. "$(dirname "$0")/wine-loaders.sh"

# Every Wine call of this run goes through one command: /usr/bin/wine where 32-bit programs run,
# the 64-bit loader itself where they cannot.
if quillet_runs_32bit; then
    wine=wine
    prefix=$base_prefix
elif [ "${QUILLET_WINEARCH:-}" != win64 ]; then
    echo "wine-run.sh: this machine runs no 32-bit programs, so the 32-bit build cannot run here" >&2
    exit 125
else
    export WINELOADER="$quillet_wine64_loader"
    wine=$WINELOADER
    prefix="$base_prefix-64only"
fi

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No crash dumps into the program's output (a crash must fail a test, not print a dump),
# and no Mono/Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.quillet-ready" ]; then
        "$wine" wineboot -i >/dev/null 2>&1 </dev/null 9>&-
        # The null graphics driver gives a working console screen buffer and dialogs
        # without an X display.
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null 9>&-
        wineserver -w 9>&-
        if [ ! -d "$prefix/drive_c/windows" ]; then
            echo "wine-run.sh: Wine could not make the prefix $prefix" >&2
            exit 125
        fi
        touch "$prefix/.quillet-ready"
    fi
    if ! wineserver -k0 >/dev/null 2>&1; then
        wineserver -p >/dev/null 2>&1 </dev/null 9>&-
        "$wine" cmd /c exit >/dev/null 2>&1 </dev/null 9>&-
    fi
) 9>"$prefix.lock" || exit $?
exec "$wine" "$@"
