#!/usr/bin/env bash
# Fresh Debian machine: installs what is missing, builds the 32-bit tools and shows
# quillet's report of the bundled sample file under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" i686
build="$top/build/i686"
sample="Z:$(echo "$build/samples/sample.dll" | sed 's|/|\\|g')"
"$build/wine-run" "$build/quillet/quillet.exe" "$sample" -md5
