#!/usr/bin/env bash
# Configures and builds one architecture: scripts/build.sh i686|x86_64 [build-dir]
set -euo pipefail
arch=${1:?usage: build.sh i686|x86_64 [build-dir]}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$top/build/$arch}
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
