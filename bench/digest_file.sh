#!/usr/bin/env bash
# DigestFile under Wine beside the host's md5sum, sha1sum and crc32 on the same
# cached 1 GiB file, in one run.
#
#   bench/digest_file.sh [WINE_BUILD_DIR] [PASSES]
#
# WINE_BUILD_DIR is a cross build configured with -DDUNMO_BENCH=ON whose Wine
# prefix exists (run its wine.setup test once); default build/wine.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(cd "${1:-build/wine}" && pwd)"
PASSES="${2:-2}"
EXE="$BUILD/bench/bench_digest_file.exe"
FILE="$BUILD/bench-digest-1GiB.bin"

cmake --build "$BUILD" --target bench_digest_file >/dev/null
if [ ! -f "$FILE" ] || [ "$(stat -c %s "$FILE")" -ne 1073741824 ]; then
  head -c 1073741824 /dev/urandom >"$FILE"
fi
cat "$FILE" >/dev/null  # into the page cache

# Best wall time of PASSES runs of a host command; prints "seconds hex".
host_best() {
  local best="" out="" start end t
  for _ in $(seq "$PASSES"); do
    start=$(date +%s.%N)
    out=$("$@" "$FILE" | cut -d' ' -f1)
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best ${out^^}"
}

declare -A HOST_S HOST_HEX
read -r HOST_S[MD5] HOST_HEX[MD5] < <(host_best md5sum)
read -r HOST_S[SHA-1] HOST_HEX[SHA-1] < <(host_best sha1sum)
read -r HOST_S[CRC32] HOST_HEX[CRC32] < <(host_best crc32)
declare -A HOST_TOOL=([MD5]=md5sum [SHA-1]=sha1sum [CRC32]=crc32)

WINEFILE="Z:$(echo "$FILE" | tr / '\\')"
OUTPUT=$(DUNMO_BUILD="$BUILD" scripts/wine-run.sh "$EXE" "$WINEFILE" "$PASSES" 2>/dev/null | tr -d '\r')
echo "$OUTPUT" | grep -v '^row '
echo "host tools: best of $PASSES runs each, same file, same run; MB/s = 10^6 bytes/s"
printf '\n%-6s %9s %10s %8s   %-8s %8s %7s  %s\n' digest view DigestFile seconds host MB/s ratio "same digest"
echo "$OUTPUT" | grep '^row ' | while read -r _ name view mbs secs hex steps; do
  host_mbs=$(echo "1073.741824 / ${HOST_S[$name]}" | bc -l)
  ratio=$(echo "$mbs / $host_mbs" | bc -l)
  same=$([ "$hex" = "${HOST_HEX[$name]}" ] && echo yes || echo "NO ($hex vs ${HOST_HEX[$name]})")
  printf '%-6s %6s KiB %10.0f %8.3f   %-8s %8.0f %7.2f  %s (%s steps)\n' "$name" "$view" "$mbs" "$secs" \
    "${HOST_TOOL[$name]}" "$host_mbs" "$ratio" "$same" "$steps"
done
