#!/usr/bin/env bash
# A baseline of a system folder at the pace of a bare program: "quillet -d TREE\* -s -csv -md5
# -sha256" (and the same as a text report, and the CSV run without digests) over Wine's two
# system folders (the first build's prefix: drive_c/windows/system32 and syswow64), beside
# bare_digests.exe of the same build (the walk, the version functions and one read pass per
# file in 1 MiB pieces hashed with CryptoAPI MD5 and SHA-256, on as many threads as quillet's
# default) and hashdeep on the Linux side when it is installed. Prints each time and quillet's
# pace as a share of the bare program's (its time over quillet's).
#
#   bench/digest_pace.sh [build-dir...]
#
# The build dirs default to build/i686 and build/x86_64, those that exist and run here; any
# others may be given, two of one architecture too (a build before a change and one after). Each
# figure is the fastest of BENCH_RUNS rounds (default 3), every program once in each round; the
# tree is in the page cache before it is timed, and quillet runs as a copy without quillet.ini.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../cmake/wine-loaders.sh
. "$top/cmake/wine-loaders.sh"

builds=()
if [ $# -gt 0 ]; then
    builds=("$@")
else
    for arch in i686 x86_64; do
        [ -x "$top/build/$arch/quillet/quillet.exe" ] || continue
        if [ "$arch" = i686 ] && ! quillet_runs_32bit; then
            echo "i686: skipped (this machine runs no 32-bit programs)"
            continue
        fi
        builds+=("$top/build/$arch")
    done
fi
[ ${#builds[@]} -gt 0 ] || { echo "no build to measure: build the tree first (scripts/build.sh)" >&2; exit 1; }
source "$top/bench/common.sh" "${builds[0]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=()
for index in "${!builds[@]}"; do
    build=$(cd "${builds[$index]}" && pwd)
    builds[index]=$build
    require_files "$build/wine-run" "$build/quillet/quillet.exe" "$build/bench/bare_digests.exe" \
        "$build/bench/empty_program.exe"
    names+=("$(build_arch) $(basename "$build")")
    mkdir -p "$work/$index"
    cp "$build/quillet/quillet.exe" "$work/$index/quillet.exe"
    run="$build/wine-run"
    warm_up_wine
done

# The tree: hard links where the file system allows them (the same pages in the cache), else a copy.
build=${builds[0]}
wine_prefix=$(quillet_wine_prefix "$build/wineprefix")
mkdir -p "$work/tree"
for folder in system32 syswow64; do
    source_folder="$wine_prefix/drive_c/windows/$folder"
    [ -d "$source_folder" ] || continue
    cp -al "$source_folder" "$work/tree/" 2>/dev/null || cp -r "$source_folder" "$work/tree/"
done
find "$work/tree" -type f -print0 | xargs -0 cat >/dev/null
pattern=$(windows_path "$work/tree")'\*'
hashdeep_threads=$(nproc)
if [ "$hashdeep_threads" -gt 8 ]; then hashdeep_threads=8; fi

for ((round = 0; round < runs; ++round)); do
    for index in "${!builds[@]}"; do
        build=${builds[$index]} out="$work/$index"
        keep_best "bare_$index" "$(bench_out="$out/bare" time_once "$build/wine-run" \
            "$build/bench/bare_digests.exe" "$pattern")"
        keep_best "csv_$index" "$(bench_out="$out/csv" time_once "$build/wine-run" "$out/quillet.exe" -d "$pattern" \
            -s -csv -md5 -sha256)"
        keep_best "text_$index" "$(bench_out="$out/txt" time_once "$build/wine-run" "$out/quillet.exe" -d "$pattern" \
            -s -md5 -sha256)"
        keep_best "plain_$index" "$(bench_out="$out/plain" time_once "$build/wine-run" "$out/quillet.exe" -d \
            "$pattern" -s -csv)"
    done
    if command -v hashdeep >/dev/null; then
        keep_best hashdeep_ms "$(time_once hashdeep -r -c md5,sha256 -j "$hashdeep_threads" "$work/tree")"
    fi
done

tree_bytes=$(find "$work/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
tree_files=$(find "$work/tree" -type f | wc -l)
echo "tree: $tree_files files, $((tree_bytes / 1000000)) MB; $(nproc) logical processors;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
line() {
    printf '%-24s %-34s %9s %9s %9s\n' "$@"
}
line build run ms "MB/s" "pace"
for index in "${!builds[@]}"; do
    bare_name="bare_$index" csv_name="csv_$index" text_name="text_$index" plain_name="plain_$index"
    bare=${!bare_name} csv=${!csv_name} text=${!text_name} plain=${!plain_name} name=${names[$index]}
    line "$name" "bare_digests" "$bare" "$(calc "$tree_bytes / 1000" "$bare")" 1.00
    line "$name" "quillet -d -s -csv -md5 -sha256" "$csv" "$(calc "$tree_bytes / 1000" "$csv")" "$(calc "$bare" "$csv")"
    line "$name" "the same as text" "$text" "$(calc "$tree_bytes / 1000" "$text")" "$(calc "$bare" "$text")"
    line "$name" "quillet -d -s -csv (no digests)" "$plain" "" ""
    echo "$name: bare_digests $(cat "$work/$index/bare"); CSV rows $(($(wc -l <"$work/$index/csv") - 1));" \
        "text SHA256 digests $(grep -c '^File SHA256: ' "$work/$index/txt" || true)"
done
if [ -n "${hashdeep_ms:-}" ]; then
    line linux "hashdeep -r -c md5,sha256 -j $hashdeep_threads" "$hashdeep_ms" \
        "$(calc "$tree_bytes / 1000" "$hashdeep_ms")" ""
else
    echo "hashdeep: not installed"
fi
