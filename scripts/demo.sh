#!/usr/bin/env bash
# Fresh Debian machine: installs what is missing, builds the tools and shows quillet's report
# of the bundled sample file under Wine: the 32-bit build, or the 64-bit one where this machine
# runs no 32-bit programs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/cmake/wine-loaders.sh"
bash "$top/scripts/install-deps.sh"
arch=i686
if ! quillet_runs_32bit; then
    arch=x86_64
    echo "This machine runs no 32-bit programs: showing the x86_64 build."
fi
bash "$top/scripts/build.sh" "$arch"
build="$top/build/$arch"
sample="Z:$(echo "$build/samples/sample.dll" | sed 's|/|\\|g')"
echo "Running the $arch build: $build/quillet/quillet.exe"
"$build/wine-run" "$build/quillet/quillet.exe" "$sample" -md5
