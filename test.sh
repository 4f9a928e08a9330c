#!/usr/bin/env bash
# Builds and runs every test: the portable code natively (ASan + UBSan), then
# everything as 32-bit Windows executables under Wine and Xvfb.
set -uo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh || exit 1

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUNMO_SANITIZE=ON >/dev/null &&
  cmake --build build/native || exit 1
# The shipped 32-bit build is always made; where this host cannot run 32-bit
# Wine, the Windows tests run in a 64-bit build of the same sources.
cmake -S . -B build/wine -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null || exit 1
wine_build=build/wine
if [ "$(scripts/wine-target.sh)" = i686 ]; then
  cmake --build build/wine || exit 1
else
  cmake --build build/wine --target Dunmo RunDriver || exit 1
  wine_build=build/wine64
  cmake -S . -B build/wine64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null &&
    cmake --build build/wine64 || exit 1
fi

passed=0 failed=0 status=0
count() {  # adds the counts of one CTest summary ("N% tests passed, F tests failed out of T")
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then status=1; return; fi
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f)); failed=$((failed + f))
}

echo "== native tests"
ctest --test-dir build/native -j2 --output-on-failure 2>&1 | tee build/native-tests.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
count build/native-tests.log

echo "== Windows tests under Wine ($wine_build)"
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir "$wine_build" --output-on-failure 2>&1 | tee build/wine-tests.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
count build/wine-tests.log

echo "tests: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ] || status=1
exit "$status"
