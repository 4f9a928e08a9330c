#!/usr/bin/env bash
# Builds Dunmo.exe and runs it under Wine with the given paths.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build/wine -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
cmake --build build/wine --target Dunmo
echo "run.sh: the main window is not built yet; Dunmo.exe cannot run." >&2
exit 1
