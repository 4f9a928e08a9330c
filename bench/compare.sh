#!/usr/bin/env bash
# What the user waits for: the real Dunmo.exe under Wine, driven through its
# window by bench_compare.exe, beside general-purpose hash tools on the same
# data in the page cache, round by round, then medians.
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS]        default build/bench-wine, 5
#
# 1 GiB random file: Dunmo's MD5 from launch, and MD5, SHA-1 and CRC32 from a
# radio click, to the result line; rhash, 7zz, openssl and md5sum/sha1sum/crc32
# as whole commands. Folders of 10,000 and 100,000 files of 0-16 KiB: Dunmo from
# launch to the last line, against a bare Win32 read walk under Wine launched
# the same way (the floor) and rhash -r. Every digest is checked against
# md5sum/sha1sum/crc32 and every folder's lines against its files.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build/bench-wine}")"
ROUNDS="${2:-5}"
cd "$ROOT"

SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
for p in rhash 7zip; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    $SUDO apt-get install -y -qq "$p" >/dev/null 2>&1 ||
      { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq "$p" >/dev/null; }
  fi
done

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DDUNMO_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$(scripts/wine-target.sh).cmake >/dev/null
fi
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DDUNMO_BENCH=ON >/dev/null
cmake --build "$BUILD" --target Dunmo bench_compare >/dev/null
scripts/wine-prefix.sh "$BUILD"
export DUNMO_BUILD="$BUILD"
source scripts/wine-env.sh
wineserver -p  # one server for the whole run, or every start waits for it
trap 'wineserver -k' EXIT
DRIVER="$BUILD/bench/bench_compare.exe"
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# The data, made once and kept.
DATA="$BUILD/bench-data"
FILE="$DATA/random-1GiB.bin"
mkdir -p "$DATA"
if [ ! -f "$DATA/digests" ]; then
  head -c 1073741824 /dev/urandom >"$FILE"
  { md5sum <"$FILE"; sha1sum <"$FILE"; crc32 "$FILE"; } | cut -d' ' -f1 | tr a-f A-F >"$DATA/digests"
fi
declare -A REF
{ read -r REF[md5]; read -r REF[sha1]; read -r REF[crc32]; } <"$DATA/digests"
COUNTS=(10000 100000)
for n in "${COUNTS[@]}"; do
  [ -f "$DATA/files-$n.complete" ] && continue
  rm -rf "$DATA/files-$n"
  perl -e 'my ($dir, $n) = @ARGV; mkdir $dir or die; open(my $random, "<", "/dev/urandom") or die;
    for my $i (1 .. $n) { read($random, my $bytes, int(rand(16385)));
      open(my $f, ">", sprintf("%s/f%06d.bin", $dir, $i)) or die; print $f $bytes; close $f }' "$DATA/files-$n" "$n"
  touch "$DATA/files-$n.complete"
done

declare -A TIMES WORST  # TIMES[case|tool]: seconds of each round; WORST[case]: slowest answer, ms
BAD=()
add() { TIMES[$1]="${TIMES[$1]:-} $2"; }
check() {  # check WHAT EXPECTED GOT
  if [ "$2" != "$3" ]; then
    BAD+=("$1: got '$3', expected '$2'")
    echo "!!! WRONG: $1: got '$3', expected '$2'" >&2
  fi
}
elapsed() { awk "BEGIN { print $(date +%s.%N) - $1 }"; }
# host ALGORITHM TOOL COMMAND...: times the command on the file, checks its digest.
host() {
  local algorithm=$1 tool=$2 start out
  shift 2
  start=$(date +%s.%N)
  out=$("$@" "$FILE" 2>&1)
  add "$algorithm|$tool" "$(elapsed "$start")"
  check "$tool $algorithm" "${REF[$algorithm]}" \
    "$(grep -oiE "\b[0-9a-f]{${#REF[$algorithm]}}\b" <<<"$out" | tail -1 | tr a-f A-F)"
}
# driver MODE PATH SUFFIX [FILES]: runs bench_compare.exe and files its results.
driver() {
  local name seconds worst detail key
  while read -r _ name seconds worst detail; do
    case $name in
      floor) key="folder$3|floor"; check "floor on $4 files" "$4" "$detail" ;;
      folder) key="folder$3|Dunmo"; check "Dunmo on $4 files" "$4/$4 ok" "$detail" ;;
      close-*) key="$name$3|Dunmo" ;;
      *) key="$name|Dunmo"; check "Dunmo $name" "${REF[${name%-*}]}" "$detail" ;;
    esac
    add "$key" "$seconds"
    [ "$name" = floor ] || WORST[${key%|*}]=$(awk "BEGIN { w = ${WORST[${key%|*}]:-0}; print (w > $worst ? w : $worst) }")
  done < <(wine "$DRIVER" "$1" "$(winpath "$2")" | tr -d '\r' | grep '^result ')
}

for round in $(seq "$ROUNDS"); do
  echo "round $round of $ROUNDS" >&2
  cat "$FILE" >/dev/null
  driver file "$FILE" ""
  host md5 rhash rhash --md5;         host sha1 rhash rhash --sha1;     host crc32 rhash rhash --crc32
  host md5 7zz 7zz h -scrcMD5;        host sha1 7zz 7zz h -scrcSHA1;    host crc32 7zz 7zz h -scrcCRC32
  host md5 openssl openssl dgst -md5; host sha1 openssl openssl dgst -sha1
  host md5 coreutils md5sum;          host sha1 coreutils sha1sum;      host crc32 coreutils crc32
  for n in "${COUNTS[@]}"; do
    folder="$DATA/files-$n"
    find "$folder" -type f -print0 | xargs -0 cat >/dev/null
    driver folder "$folder" "-$n" "$n"
    driver floor "$folder" "-$n" "$n"
    start=$(date +%s.%N)
    lines=$(rhash -r --md5 "$folder" | wc -l)
    add "folder-$n|rhash" "$(elapsed "$start")"
    check "rhash -r on $n files" "$n" "$lines"
  done
  driver close "$DATA/files-${COUNTS[-1]}" " ${COUNTS[-1]} files"
  driver close "$FILE" " 1 GiB file"
done

median() {
  tr ' ' '\n' <<<"${TIMES[$1]:-}" | sort -g |
    awk 'NF { v[++n] = $1 } END { if (n) printf "%.3f", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}
# verdict RATIO TARGET: the ratio beside its target.
verdict() { awk "BEGIN { printf \"%5.2fx  <= %.1fx %s\", $1, $2, $1 <= $2 ? \"met \" : \"OVER\" }"; }
answer() { awk "BEGIN { printf \"%6.0f ms%s\", $1, $1 <= 100 ? \"\" : \" OVER 100 ms\" }"; }

echo
echo "1 GiB random file in the page cache, median seconds of $ROUNDS rounds; Dunmo under Wine from"
echo "the CreateProcess call (launch) or the radio click to its line, the others as whole commands."
printf '%-12s %7s %6s %7s %7s %7s %9s   %-9s %-26s %s\n' case Dunmo MB/s rhash 7zz openssl coreutils \
  fastest "Dunmo/fastest  target" "slowest answer"
declare -A TARGET=([md5]=1.0 [sha1]=0.8 [crc32]=0.5)
for c in md5-launch md5-click sha1-click crc32-click; do
  algorithm=${c%-*} ours=$(median "$c|Dunmo") best="" fastest="" cells=()
  for tool in rhash 7zz openssl coreutils; do
    m=$(median "$algorithm|$tool")
    cells+=("${m:--}")
    if [ -n "$m" ] && { [ -z "$best" ] || awk "BEGIN { exit !($m < $best) }"; }; then best=$m fastest=$tool; fi
  done
  printf '%-12s %7s %6.0f %7s %7s %7s %9s   %-9s %-26s %s\n' "$c" "$ours" "$(awk "BEGIN { print 1073.741824 / $ours }")" \
    "${cells[@]}" "$fastest" "$(verdict "$(awk "BEGIN { print $ours / $best }")" "${TARGET[$algorithm]}")" \
    "$(answer "${WORST[$c]}")"
done
echo "(coreutils: md5sum, sha1sum and crc32; MB/s = 10^6 bytes/s)"

echo
echo "Folders of small files (0-16 KiB) in the page cache, median seconds of $ROUNDS rounds. Dunmo and"
echo "the floor (a bare Win32 FindNextFile/CreateFile/ReadFile walk, no hashing, no window) are both"
echo "timed under Wine from the CreateProcess call, so both pay Wine's process start; rhash -r --md5 natively."
printf '%-14s %7s %7s %9s   %-26s %s\n' case Dunmo floor "rhash -r" "Dunmo/floor  target" "slowest answer"
declare -A FOLDER_TARGET=([10000]=1.2 [100000]=1.3)
for n in "${COUNTS[@]}"; do
  ours=$(median "folder-$n|Dunmo") floor=$(median "folder-$n|floor")
  printf '%-14s %7s %7s %9s   %-26s %s\n' "$n files" "$ours" "$floor" "$(median "folder-$n|rhash")" \
    "$(verdict "$(awk "BEGIN { print $ours / $floor }")" "${FOLDER_TARGET[$n]}")" "$(answer "${WORST[folder-$n]}")"
done
echo "Slowest answer: the longest Dunmo's window took, in any round, to handle a message posted every"
echo "50 ms behind what it had queued (as a click waits), or a sent query; target <= 100 ms."
echo
echo "Closing (Esc) while Dunmo works, 0, 0.3 and 1 s after it turned busy: seconds from the close to the"
echo "end of the process, worst of $ROUNDS rounds (target <= 0.2 s)."
for what in "${COUNTS[-1]} files" "1 GiB file"; do
  printf '%-16s' "$what"
  for delay in 0.0 0.3 1.0; do
    printf '  after %ss: %6s' "$delay" "$(tr ' ' '\n' <<<"${TIMES[close-after-${delay}s $what|Dunmo]:-}" | sort -g | tail -1)"
  done
  echo
done
echo
if [ "${#BAD[@]}" -eq 0 ]; then
  echo "Every digest matched md5sum/sha1sum/crc32; every folder line was present exactly once."
else
  printf '!!! %s\n' "${BAD[@]}"
  exit 1
fi
