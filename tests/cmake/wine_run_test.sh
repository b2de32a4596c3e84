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

[ "$failures" -eq 0 ] && echo "wine_run_test: all checks passed"
exit "$failures"
