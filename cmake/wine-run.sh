#!/bin/sh
# Runs a Windows program under Wine for ctest and the build.
# The servers and services started here must not inherit the lock (fd 9), or they hold it
# for good. Every program of one build tree shares one prefix and one persistent wineserver, so a
# program start costs tens of milliseconds instead of seconds.
#
# Every way this wrapper gives up ends with one line on standard error that names the step, the
# status it got and Wine's own first error line, since WINEDEBUG=-all keeps Wine quiet otherwise;
# a program that Wine ends with a failure status gets one line too, so that no test fails without
# a word.
say() {
    echo "wine-run.sh: $*" >&2
}

base_prefix=${QUILLET_WINEPREFIX:-}
if [ -z "$base_prefix" ]; then
    say "QUILLET_WINEPREFIX is not set"
    exit 125
fi
. "$(dirname "$0")/wine-loaders.sh"

# Every Wine call of this run goes through one command: /usr/bin/wine where 32-bit programs run,
# the 64-bit loader itself where they cannot.
if quillet_runs_32bit; then
    wine=wine
    prefix=$base_prefix
elif [ "${QUILLET_WINEARCH:-}" != win64 ]; then
    say "this machine runs no 32-bit programs, so the 32-bit build cannot run here"
    exit 125
else
    export WINELOADER="$quillet_wine64_loader"
    wine=$WINELOADER
    prefix="$base_prefix-64only"
fi

# Wine and every program it starts (the personality is inherited) run with a fixed address
# layout where the system allows one.
if layout=$(quillet_fixed_layout); then
    layout_note=""
else
    layout=""
    layout_note="; the address layout was random (setarch -R was refused)"
fi
run_wine() {
    $layout "$wine" "$@"
}

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No crash dumps into the program's output (a crash must fail a test, not print a dump),
# and no Mono/Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
mkdir -p "$(dirname "$prefix")" || {
    say "could not make the folder of $prefix (status $?)"
    exit 125
}
errors=$(mktemp) || {
    say "could not make a temporary file (status $?)"
    exit 125
}
trap 'rm -f "$errors"' EXIT

# Runs one set-up command with its output kept aside (and Wine's error lines let through); a
# failure ends the wrapper with a line that names the step, its status and the last thing the
# command said.
setup_step() {
    step=$1
    shift
    WINEDEBUG=fixme-all "$@" >"$errors" 2>&1 </dev/null 9>&-
    status=$?
    [ "$status" -eq 0 ] && return 0
    said=$(grep . "$errors" | tail -n 1)
    say "$step failed with status $status${said:+: $said}"
    exit 125
}

# One persistent wineserver per prefix. A status of 2 from "wineserver -p" means that another
# start took the server lock first, which serves as well.
start_server() {
    wineserver -k0 >/dev/null 2>&1 && return 0
    WINEDEBUG=fixme-all wineserver -p >"$errors" 2>&1 </dev/null 9>&-
    status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
        said=$(grep . "$errors" | tail -n 1)
        say "starting the persistent wineserver of $prefix failed with status $status${said:+: $said}"
        exit 125
    fi
    # Started once here, the services are up before the program that follows needs them.
    setup_step "the first start of Wine in $prefix" run_wine cmd /c exit
}

(
    flock 9 || {
        say "could not lock $prefix.lock (status $?)"
        exit 125
    }
    if [ ! -f "$prefix/.quillet-ready" ]; then
        setup_step "making the Wine prefix $prefix" run_wine wineboot -i
        # The null graphics driver gives a working console screen buffer and dialogs
        # without an X display.
        setup_step "setting the graphics driver of $prefix" \
            run_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
        setup_step "waiting for the wineserver of the new prefix $prefix" wineserver -w
        if [ ! -d "$prefix/drive_c/windows" ]; then
            say "Wine could not make the prefix $prefix"
            exit 125
        fi
        touch "$prefix/.quillet-ready"
    fi
    start_server
) 9>"$prefix.lock"
status=$?
if [ "$status" -ne 0 ]; then
    # The set-up said why, unless the shell could not open the lock or the set-up was killed.
    [ "$status" -eq 125 ] || say "the set-up of $prefix ended with status $status"
    exit "$status"
fi

started=$(date +%s%N)
run_wine "$@"
status=$?
if [ "$status" -ne 0 ]; then
    ended=$(date +%s%N)
    say "wine ended $1 with status $status after $(((ended - started) / 1000000)) ms$layout_note"
fi
exit "$status"
