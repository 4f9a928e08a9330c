#!/usr/bin/env bash
# Checking sums files with the real Dunmo.exe under Wine, driven by
# bench_check.exe, which times from launch to the last line and probes the
# window with WM_NULL every 25 ms.
#
#   bench/check.sh [BUILD_DIR] [ROUNDS] [MISSING] [FILES]
#                                        default build/wine64, 5, 1000000, 10000
#
# 10,000 files of 0-4 KiB: checking their MD5 sums file against hashing their
# folder, in paired rounds (alternating which goes first), then medians; the
# same with their SHA-512 sums file, the folder hashed with SHA-512 (typed in
# after the SHA-512 button, as a start cannot choose the digest).
# Then once: a sums file of MISSING lines whose entries are all missing,
# with its time, slowest answer, line count and peak memory (as Wine reports
# it, and the highest resident size of the Wine process seen from Linux).
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build/wine64}")"
ROUNDS="${2:-5}"
MISSING="${3:-1000000}"
FILES="${4:-10000}"
cd "$ROOT"
cmake -S . -B "$BUILD" -DDUNMO_BENCH=ON >/dev/null
cmake --build "$BUILD" --target Dunmo bench_check >/dev/null
scripts/wine-prefix.sh "$BUILD"
export DUNMO_BUILD="$BUILD"
source scripts/wine-env.sh
wineserver -p
trap 'wineserver -k' EXIT
DRIVER="$BUILD/bench/bench_check.exe"
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

DATA="$BUILD/bench-check-data"
[ "$FILES" -eq 10000 ] || DATA="$DATA-$FILES"
mkdir -p "$DATA"
if [ ! -f "$DATA/complete" ]; then
  rm -rf "$DATA/files" && mkdir "$DATA/files"
  perl -e 'my ($dir, $n) = @ARGV; open(my $random, "<", "/dev/urandom") or die;
    for my $i (1 .. $n) { read($random, my $bytes, int(rand(4097)));
      open(my $f, ">", sprintf("%s/f%06d.bin", $dir, $i)) or die; print $f $bytes; close $f }' "$DATA/files" "$FILES"
  (cd "$DATA" && md5sum files/* >files.md5)
  perl -e 'for my $i (1 .. 1000000) { printf "%032x  missing/m%07d.bin\n", $i, $i }' >"$DATA/missing.md5"
  touch "$DATA/complete"
fi
[ -f "$DATA/files.sha512" ] || (cd "$DATA" && sha512sum files/* >files.sha512.part && mv files.sha512.part files.sha512)

# run PATH LINES [DIGEST]: one driver run; prints its result fields.
run() { wine "$DRIVER" "$(winpath "$1")" "$2" "${@:3}" | tr -d '\r' | grep '^result ' | cut -d' ' -f2-; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[++n] = $1 } END { printf "%.3f", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'; }
# paired SUMS DIGEST...: ROUNDS paired rounds of checking SUMS and hashing the
# folder (with DIGEST, when given); prints both medians and their ratio.
paired() {
  local sums=$1 label=${2:-md5} c f round
  local -a checks=() folders=()
  for round in $(seq "$ROUNDS"); do
    find "$DATA/files" -type f -print0 | xargs -0 cat >/dev/null
    if [ $((round % 2)) -eq 1 ]; then
      c=$(run "$sums" $((FILES + 1))); f=$(run "$DATA/files" "$FILES" "${@:2}")
    else
      f=$(run "$DATA/files" "$FILES" "${@:2}"); c=$(run "$sums" $((FILES + 1)))
    fi
    echo "round $round ($label): check $c" >&2
    echo "round $round ($label): folder $f" >&2
    checks+=("${c%% *}") folders+=("${f%% *}")
  done
  local mc mf
  mc=$(median "${checks[@]}") mf=$(median "${folders[@]}")
  echo "check ${mc} s, folder ${mf} s, ratio $(awk "BEGIN { printf \"%.2f\", $mc / $mf }") (target <= 1.1)"
}
COUNT=$(sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$FILES")
echo "$COUNT files of 0-4 KiB, median of $ROUNDS paired rounds: $(paired "$DATA/files.md5")"
echo "$COUNT files of 0-4 KiB, SHA-512, median of $ROUNDS paired rounds (folder: start to window plus" \
  "Enter to end): $(paired "$DATA/files.sha512" sha512)"

# The all-missing check, with the Wine process's resident size sampled.
head -n "$MISSING" "$DATA/missing.md5" >"$DATA/missing-$MISSING.md5"
peak=0
wine "$DRIVER" "$(winpath "$DATA/missing-$MISSING.md5")" $((MISSING + 1)) | tr -d '\r' | grep '^result ' >"$DATA/missing.result" &
driver=$!
while kill -0 "$driver" 2>/dev/null; do
  for pid in $(pgrep -f 'Dunmo\.exe' || true); do  # this build's only
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qF "$(winpath "$BUILD")" || continue
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
    [ "${rss:-0}" -gt "$peak" ] && peak=$rss
  done
  sleep 0.5
done
wait "$driver" || true
read -r _ seconds worst lines ws private _ <"$DATA/missing.result" || true
echo "$MISSING missing entries: ${seconds} s, slowest answer ${worst} ms, ${lines} lines, peak working set ${ws} MiB," \
  "peak private ${private} MiB (Wine), highest RSS seen $((peak / 1024)) MiB"
echo "last line: $(cut -d' ' -f7- "$DATA/missing.result")"
