#!/usr/bin/env bash
# After the set-up of the README: builds both architectures and makes their zip packages:
# build/i686/quillet-<version>-win32.zip and build/x86_64/quillet-<version>-win64.zip.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
for arch in i686 x86_64; do
    bash "$top/scripts/build.sh" "$arch"
    cmake --build "$top/build/$arch" --target package
done
ls -l "$top"/build/*/quillet-*.zip
