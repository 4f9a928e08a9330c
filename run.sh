#!/usr/bin/env bash
# Builds Dunmo.exe and runs it under Wine with the given paths (files or
# folders; Unix paths are converted, Windows paths such as C:\x pass as they are).
#
# With a display, Dunmo simply runs. Without one ($DISPLAY unset) it runs
# inside Xvfb: once its job has ended the output pane's lines are printed,
# a screenshot is saved to build/run-screenshot.png, the window is closed and
# the script exits with Dunmo's exit code (2 after a normal close).
set -euo pipefail
cd "$(dirname "$0")"
root="$PWD"
# The build folder (override for a private one): the 32-bit Dunmo, or a 64-bit
# build where this host cannot run 32-bit Wine.
target="$(scripts/wine-target.sh)"
if [ "$target" = i686 ]; then build="${DUNMO_RUN_BUILD:-$root/build/wine}"
else build="${DUNMO_RUN_BUILD:-$root/build/wine64}"; fi

if [ -z "${DUNMO_RUN_INSIDE_XVFB:-}" ]; then
  ./scripts/setup.sh
  mkdir -p "$build"
  if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$target.cmake &&
         cmake --build "$build" --target Dunmo RunDriver; } >"$build/run-build.log" 2>&1; then
    cat "$build/run-build.log" >&2
    exit 1
  fi
  ./scripts/wine-prefix.sh "$build"
  if [ -z "${DISPLAY:-}" ]; then
    # Run this script again inside a virtual display.
    DUNMO_RUN_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  fi
fi

export DUNMO_BUILD="$build"
source scripts/wine-env.sh

args=()
for path in "$@"; do
  if [[ "$path" =~ ^[A-Za-z]:[\\/] ]]; then
    args+=("$path")
  else
    # Z: is the Unix root; winepath would strip trailing dots and spaces.
    unix="$(realpath -m -- "$path")"
    args+=("Z:${unix//\//\\}")
  fi
done

if [ -z "${DUNMO_RUN_INSIDE_XVFB:-}" ]; then
  status=0
  wine "$build/Dunmo.exe" "${args[@]}" || status=$?
  exit "$status"
fi

handshake="$(mktemp -d)"
trap 'rm -rf "$handshake"' EXIT
status=0
wine "$build/RunDriver.exe" "$(wine winepath -w "$build/Dunmo.exe")" "$(wine winepath -w "$handshake")" \
     "${args[@]}" &
driver=$!
while [ ! -e "$handshake/ready" ] && kill -0 "$driver" 2>/dev/null; do sleep 0.2; done
if [ -e "$handshake/ready" ]; then
  screenshot="$root/build/run-screenshot.png"
  import -window root "$screenshot" && echo "run.sh: screenshot saved to $screenshot" >&2
  touch "$handshake/shot"
fi
wait "$driver" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
