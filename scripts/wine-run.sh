#!/usr/bin/env bash
# Runs a Windows executable in the build's private prefix (used by CTest as the
# cross-compiling emulator).
DUNMO_BUILD="${DUNMO_BUILD:-$(cd "$(dirname "$0")/../build/wine" && pwd)}"
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
