#!/bin/sh
# The Wine wrapper's choice of loader, without starting Wine: a machine whose kernel runs no
# 32-bit programs is imitated by a "loader" that the kernel refuses with Exec format error.
#   wine_run_test.sh <source dir>
top=${1:?usage: wine_run_test.sh <source dir>}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# Loaders: one the kernel refuses (an ELF header it cannot load), one that starts, none at all.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000' >"$work/refused"
printf '#!/bin/sh\nexit 0\n' >"$work/starts"
chmod +x "$work/refused" "$work/starts"

# forcing variable | 32-bit loader | expected answer of quillet_runs_32bit | prefix
while read -r force loader expected prefix; do
    answer=$(QUILLET_NO_32BIT=$force QUILLET_WINE32_LOADER="$work/$loader" sh -c \
        '. "$1/cmake/wine-loaders.sh"; if quillet_runs_32bit; then echo yes; else echo no; fi;
         quillet_wine_prefix /p' sh "$top" 2>&1 | tr '\n' ' ')
    [ "$answer" = "$expected $prefix " ] || fail "force=$force loader=$loader: got '$answer'"
done <<'TABLE'
0 starts yes /p
1 starts no /p-64only
0 refused no /p-64only
0 missing no /p-64only
TABLE

# The 32-bit tree's wrapper stops at once with one line and 125 where 32-bit cannot run.
out=$(QUILLET_WINEPREFIX="$work/prefix" QUILLET_WINEARCH=win32 QUILLET_WINE32_LOADER="$work/refused" \
    sh "$top/cmake/wine-run.sh" never.exe 2>"$work/err")
code=$?
[ "$code" -eq 125 ] || fail "32-bit wrapper exit code $code"
[ -z "$out" ] || fail "32-bit wrapper printed '$out' on standard output"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "runs no 32-bit programs" "$work/err" ||
    fail "32-bit wrapper said: $(cat "$work/err")"
[ ! -e "$work/prefix" ] && [ ! -e "$work/prefix-64only" ] || fail "32-bit wrapper made a prefix"

out=$(QUILLET_WINEPREFIX='' sh "$top/cmake/wine-run.sh" never.exe 2>/dev/null)
[ $? -eq 125 ] || fail "a wrapper without a prefix did not stop with 125"

# The wrapper's own steps, with Wine stubbed on PATH: one stub serves as wine, the 64-bit loader
# and wineserver, logs its words and answers with the status the case gives each step.
mkdir -p "$work/bin"
cat >"$work/bin/wine" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_LOG"
case "$*" in
    wineboot*) mkdir -p "$WINEPREFIX/drive_c/windows"; step=$STUB_BOOT ;;
    -k0) step=$STUB_K0 ;;
    -p) step=$STUB_P ;;
    "cmd /c exit") step=$STUB_WARM ;;
    *.exe*) step=$STUB_PROGRAM ;;
    *) step=0 ;;
esac
[ "$step" -eq 0 ] || echo "stub: $* went wrong"
exit "$step"
STUB
chmod +x "$work/bin/wine"
ln -s wine "$work/bin/wineserver"
# setarch refuses the fixed address layout when the case says so; otherwise it marks the
# command it runs with "R:".
cat >"$work/bin/setarch" <<'STUB'
#!/bin/sh
[ "$1" = stubarch ] || exit 2
[ "$2" = -R ] || exit 2
shift 2
[ "$1" = true ] && echo "setarch trial" >>"$STUB_ASKED"
[ "$STUB_LAYOUT" -eq 0 ] || exit 1
[ "$1" = true ] && exit 0
printf 'R:' >>"$STUB_LOG"
exec "$@"
STUB
chmod +x "$work/bin/setarch"
# uname answers with a machine name that only the stubbed setarch takes, and counts the calls.
printf '#!/bin/sh\necho uname >>"$STUB_ASKED"\necho stubarch\n' >"$work/bin/uname"
chmod +x "$work/bin/uname"

# loader | boot k0 -p warm-up program layout | exit code | stderr line (a grep pattern) | the calls, in order
while IFS='|' read -r loader statuses code said calls; do
    set -- $statuses
    rm -rf "$work/p" "$work/p-64only" "$work/p.lock" "$work/p-64only.lock" "$work/log" "$work/asked"
    QUILLET_NO_32BIT=0 PATH="$work/bin:$PATH" STUB_LOG="$work/log" STUB_ASKED="$work/asked" STUB_BOOT=$1 STUB_K0=$2 STUB_P=$3 STUB_WARM=$4 \
        STUB_PROGRAM=$5 STUB_LAYOUT=$6 QUILLET_WINEPREFIX="$work/p" QUILLET_WINEARCH=win64 \
        QUILLET_WINE32_LOADER="$work/$loader" QUILLET_WINE64_LOADER="$work/bin/wine" \
        sh "$top/cmake/wine-run.sh" test.exe >/dev/null 2>"$work/err"
    got=$?
    case_name="$loader $statuses"
    [ "$got" -eq "$code" ] || fail "$case_name: exit code $got, not $code"
    if [ -z "$said" ]; then
        [ ! -s "$work/err" ] || fail "$case_name: said '$(cat "$work/err")'"
    else
        [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "^wine-run.sh: $said" "$work/err" ||
            fail "$case_name: said '$(cat "$work/err")', not '$said'"
    fi
    [ "$(tr '\n' ',' <"$work/log")" = "$calls" ] || fail "$case_name: calls $(tr '\n' ',' <"$work/log")"
    # One start asks the machine's name once and tries the layout once, whatever it runs.
    [ "$(tr '\n' ',' <"$work/asked")" = "uname,setarch trial," ] ||
        fail "$case_name: asked $(tr '\n' ',' <"$work/asked")"
done <<'TABLE'
starts|0 1 0 0 0 0|0||R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,-p,R:cmd /c exit,R:test.exe,
refused|0 0 0 0 0 0|0||R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,R:test.exe,
starts|3 1 0 0 0 0|125|making the Wine prefix .* failed with status 3: stub: wineboot -i went wrong$|R:wineboot -i,
starts|0 1 1 0 0 0|125|starting the persistent wineserver .* failed with status 1: stub: -p went wrong$|R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,-p,
starts|0 1 2 0 0 0|0||R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,-p,R:cmd /c exit,R:test.exe,
starts|0 1 0 5 0 0|125|the first start of Wine in .* failed with status 5: stub: cmd /c exit went wrong$|R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,-p,R:cmd /c exit,
starts|0 0 0 0 7 0|7|wine ended test.exe with status 7 after [0-9]* ms$|R:wineboot -i,R:reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,R:test.exe,
starts|0 0 0 0 1 1|1|wine ended test.exe with status 1 after [0-9]* ms; the address layout was random .setarch -R was refused.$|wineboot -i,reg add HKCU\Software\Wine\Drivers /v Graphics /d null /f,-w,-k0,test.exe,
TABLE

# A lock that cannot be opened: the shell's own complaint, then the wrapper's line.
mkdir -p "$work/locked/p.lock"
QUILLET_NO_32BIT=0 QUILLET_WINEPREFIX="$work/locked/p" QUILLET_WINE32_LOADER="$work/starts" PATH="$work/bin:$PATH" \
    STUB_LOG="$work/log" STUB_ASKED="$work/asked" STUB_LAYOUT=0 sh "$top/cmake/wine-run.sh" test.exe >/dev/null 2>"$work/err"
[ $? -ne 0 ] && grep -q "^wine-run.sh: the set-up of .* ended with status" "$work/err" ||
    fail "unopenable lock: said '$(cat "$work/err")'"

[ "$failures" -eq 0 ] && echo "wine_run_test: all checks passed"
exit "$failures"
