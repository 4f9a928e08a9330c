#!/usr/bin/env bash
# What the user waits for: the real Dunmo.exe under Wine (the x86_64 build),
# driven through its window by bench_compare.exe, beside general-purpose hash
# tools on the same data in the page cache, round by round, then medians.
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS] [CASES]   default build/bench-wine, 5,
#                                                   "file folders eight close"
#   DUNMO_BENCH_BIG=1 bench/compare.sh ...          also 300,000 files, once
#
# file: a 1 GiB random file; Dunmo's MD5 from launch, and MD5, SHA-1, CRC32,
# SHA-256 and SHA-512 from a radio click, to the result line; rhash, 7zz,
# openssl and md5sum/sha1sum/crc32/sha256sum/sha512sum as whole commands.
# folders: folders of 10,000 and 100,000 files of 0-4 KiB; Dunmo from Enter in
# the path box to the last line, beside the walk floor (a bare Win32 read walk)
# and the pane floor (the same lines into a bare output pane with its styles
# and font in one insert), both timed under Wine without process start, and
# rhash -r; with the window's slowest answers and Dunmo's peak memory.
# eight: a folder of 8 files of 128 MiB, MD5 and SHA-1 from Enter to the last
# line, Dunmo as is and limited to one processor (one hasher), beside rhash,
# 7zz, openssl and md5sum/sha1sum on the same files.
# close: Esc while Dunmo works on the big folder or the file.
# Every digest is checked and every folder's lines against its files.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build/bench-wine}")"
ROUNDS="${2:-5}"
CASES=" ${3:-file folders eight close} "
want() { [[ "$CASES" == *" $1 "* ]]; }
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
if [ "$(wc -l <"$DATA/digests")" -lt 4 ]; then sha256sum <"$FILE" | cut -d' ' -f1 | tr a-f A-F >>"$DATA/digests"; fi
if [ "$(wc -l <"$DATA/digests")" -lt 5 ]; then sha512sum <"$FILE" | cut -d' ' -f1 | tr a-f A-F >>"$DATA/digests"; fi
declare -A REF
{ read -r REF[md5]; read -r REF[sha1]; read -r REF[crc32]; read -r REF[sha256]; read -r REF[sha512]; } <"$DATA/digests"
COUNTS=(10000 100000)
BIG=300000
make_folder() {  # make_folder N: N files of 0-4 KiB in $DATA/small-N
  local n=$1
  [ -f "$DATA/small-$n.complete" ] && return
  rm -rf "$DATA/small-$n"
  perl -e 'my ($dir, $n) = @ARGV; mkdir $dir or die; open(my $random, "<", "/dev/urandom") or die;
    for my $i (1 .. $n) { read($random, my $bytes, int(rand(4097)));
      open(my $f, ">", sprintf("%s/f%06d.bin", $dir, $i)) or die; print $f $bytes; close $f }' "$DATA/small-$n" "$n"
  touch "$DATA/small-$n.complete"
}
if want folders || want close; then for n in "${COUNTS[@]}"; do make_folder "$n"; done; fi
[ -n "${DUNMO_BENCH_BIG:-}" ] && make_folder "$BIG"
EIGHT="$DATA/eight-128MiB"
if want eight && [ ! -f "$EIGHT.complete" ]; then
  rm -rf "$EIGHT" && mkdir -p "$EIGHT"
  for i in 1 2 3 4 5 6 7 8; do head -c 134217728 /dev/urandom >"$EIGHT/part$i.bin"; done
  touch "$EIGHT.complete"
fi

declare -A TIMES WORST P99 PEAK  # TIMES[case|tool]: seconds of each round; WORST/P99[case]: answers, ms
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
# eight ALGORITHM TOOL COMMAND...: times the command on the 8 files, checks it printed 8 digests.
eight() {
  local algorithm=$1 tool=$2 start out
  shift 2
  start=$(date +%s.%N)
  out=$("$@" "$EIGHT"/part*.bin 2>&1)
  add "eight-$algorithm|$tool" "$(elapsed "$start")"
  local digits="\b[0-9a-f]{${EIGHT_DIGITS[$algorithm]}}\b"
  check "$tool $algorithm on 8 files" 8 "$(grep -ciE "$digits.*part|part.*$digits" <<<"$out")"
}
declare -A EIGHT_DIGITS=([md5]=32 [sha1]=40)
maxof() { awk "BEGIN { a = ${1:-0}; b = ${2:-0}; print (a > b ? a : b) }"; }
# driver KEY MODE PATH [FILES] [OPTIONS...]: runs bench_compare.exe and files its results
# under KEY (the case; a file case files each digest under its own name).
driver() {
  local base=$1 mode=$2 path=$3 files=${4:-} name seconds worst p99 peak detail key
  shift 4 || shift $#
  while read -r _ name seconds worst p99 peak detail; do
    case $name in
      floor|panefloor) key="$base|$name"; check "$name on $files files" "$files" "$detail" ;;
      folder) key="$base|Dunmo"; check "$base on $files files" "$files/$files ok" "$detail" ;;
      close-*) key="$name$base|Dunmo" ;;
      *) key="$name|Dunmo"; check "Dunmo $name" "${REF[${name%-*}]}" "$detail" ;;
    esac
    add "$key" "$seconds"
    case $name in floor|panefloor|close-*) ;; *)
      WORST[${key%|*}]=$(maxof "${WORST[${key%|*}]:-}" "$worst")
      P99[${key%|*}]=$(maxof "${P99[${key%|*}]:-}" "$p99")
      PEAK[${key%|*}]=$(maxof "${PEAK[${key%|*}]:-}" "$peak") ;;
    esac
  done < <(wine "$DRIVER" "$mode" "$(winpath "$path")" "$@" | tr -d '\r' | grep '^result ')
}
# folder_case KEY FOLDER N: Dunmo, both floors and rhash -r on one folder.
folder_case() {
  find "$2" -type f -print0 | xargs -0 cat >/dev/null
  driver "$1" folder "$2" "$3"
  driver "$1" floor "$2" "$3"
  driver "$1" panefloor "$2" "$3"
  local start lines
  start=$(date +%s.%N)
  lines=$(rhash -r --md5 "$2" | wc -l)
  add "$1|rhash" "$(elapsed "$start")"
  check "rhash -r on $3 files" "$3" "$lines"
}

for round in $(seq "$ROUNDS"); do
  echo "round $round of $ROUNDS" >&2
  if want file; then
    cat "$FILE" >/dev/null
    driver file file "$FILE"
    host md5 rhash rhash --md5;         host sha1 rhash rhash --sha1;     host crc32 rhash rhash --crc32
    host sha256 rhash rhash --sha256;   host sha512 rhash rhash --sha512
    host md5 7zz 7zz h -scrcMD5;        host sha1 7zz 7zz h -scrcSHA1;    host crc32 7zz 7zz h -scrcCRC32
    host sha256 7zz 7zz h -scrcSHA256;  host sha512 7zz 7zz h -scrcSHA512
    host md5 openssl openssl dgst -md5; host sha1 openssl openssl dgst -sha1
    host sha256 openssl openssl sha256; host sha512 openssl openssl sha512
    host md5 coreutils md5sum;          host sha1 coreutils sha1sum;      host crc32 coreutils crc32
    host sha256 coreutils sha256sum;    host sha512 coreutils sha512sum
  fi
  if want folders; then
    for n in "${COUNTS[@]}"; do folder_case "folder-$n" "$DATA/small-$n" "$n"; done
  fi
  if want eight; then
    cat "$EIGHT"/part*.bin >/dev/null
    for algorithm in md5 sha1; do
      driver "eight-$algorithm" folder "$EIGHT" 8 "$algorithm"
      driver "eight-$algorithm-1cpu" folder "$EIGHT" 8 "$algorithm" 1cpu
      eight "$algorithm" rhash rhash "--$algorithm"
      eight "$algorithm" 7zz 7zz h "-scrc${algorithm^^}"
      eight "$algorithm" openssl openssl dgst "-$algorithm"
      eight "$algorithm" coreutils "${algorithm}sum"
    done
  fi
  if want close; then
    driver " ${COUNTS[-1]} files" close "$DATA/small-${COUNTS[-1]}"
    driver " 1 GiB file" close "$FILE"
  fi
done
# The 300,000-file folder once, when asked for.
if [ -n "${DUNMO_BENCH_BIG:-}" ]; then
  echo "300,000 files, once" >&2
  folder_case "folder-$BIG" "$DATA/small-$BIG" "$BIG"
fi

median() {
  tr ' ' '\n' <<<"${TIMES[$1]:-}" | sort -g |
    awk 'NF { v[++n] = $1 } END { if (n) printf "%.3f", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}
# verdict RATIO TARGET: the ratio beside its target.
verdict() { awk "BEGIN { printf \"%5.2fx  <= %.1fx %s\", $1, $2, $1 <= $2 ? \"met \" : \"OVER\" }"; }
answer() { local v=${1:-0}; awk "BEGIN { printf \"%6.0f ms%s\", $v, $v <= 100 ? \"\" : \" OVER 100 ms\" }"; }

ms() { awk "BEGIN { printf \"%.0f\", ${1:-0} }"; }
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
lower() { awk "BEGIN { print ($1 < $2) }"; }
fastest_of() {  # fastest_of CASE TOOLS...: "SECONDS TOOL" of the fastest peer
  local c=$1 best="" who="" m tool
  shift
  for tool in "$@"; do
    m=$(median "$c|$tool")
    if [ -n "$m" ] && { [ -z "$best" ] || [ "$(lower "$m" "$best")" = 1 ]; }; then best=$m who=$tool; fi
  done
  echo "$best $who"
}

if want file; then
  echo
  echo "1 GiB random file in the page cache, median seconds of $ROUNDS rounds; Dunmo under Wine from"
  echo "the CreateProcess call (launch) or the radio click to its line, the others as whole commands."
  printf '%-13s %7s %6s %7s %7s %7s %9s   %-9s %-26s %s\n' case Dunmo MB/s rhash 7zz openssl coreutils \
    fastest "Dunmo/fastest  target" "answers: p99 / worst"
  declare -A TARGET=([md5]=1.0 [sha1]=0.8 [crc32]=0.5 [sha256]=1.0 [sha512]=1.0)
  for c in md5-launch md5-click sha1-click crc32-click sha256-click sha512-click; do
    algorithm=${c%-*} ours=$(median "$c|Dunmo") cells=()
    [ -n "$ours" ] || { echo "$c: not measured (no such button in this build)"; continue; }
    for tool in rhash 7zz openssl coreutils; do m=$(median "$algorithm|$tool"); cells+=("${m:--}"); done
    read -r best fastest < <(fastest_of "$algorithm" rhash 7zz openssl coreutils)
    printf '%-13s %7s %6.0f %7s %7s %7s %9s   %-9s %-26s %s\n' "$c" "$ours" "$(awk "BEGIN { print 1073.741824 / $ours }")" \
      "${cells[@]}" "$fastest" "$(verdict "$(ratio "$ours" "$best")" "${TARGET[$algorithm]}")" \
      "$(ms "${P99[$c]:-}") / $(answer "${WORST[$c]:-0}")"
  done
  echo "(coreutils: md5sum, sha1sum, crc32, sha256sum and sha512sum; MB/s = 10^6 bytes/s)"
fi

folder_row() {  # folder_row KEY LABEL
  local ours walk pane floor rate
  ours=$(median "$1|Dunmo") walk=$(median "$1|floor") pane=$(median "$1|panefloor")
  [ -n "$ours" ] || return 0
  floor=$(maxof "$walk" "$pane")
  rate=$(awk "BEGIN { printf \"%.0f\", ${1##*-} / $ours }")
  printf '%-13s %7s %7s %7s %8s %9s   %-26s %6s %16s %8s\n' "$2" "$ours" "$walk" "$pane" "$rate" \
    "$(median "$1|rhash")" "$(verdict "$(ratio "$ours" "$floor")" 1.3)" "$(ms "${P99[$1]:-}")" \
    "$(answer "${WORST[$1]:-}")" "$(ms "${PEAK[$1]:-}")"
}
if want folders || [ -n "${DUNMO_BENCH_BIG:-}" ]; then
  echo
  echo "Folders of small files (0-4 KiB) in the page cache, median seconds of $ROUNDS rounds (300,000: once)."
  echo "Dunmo from Enter in its path box to the last line; the walk floor (a bare Win32 FindNextFile/"
  echo "CreateFile/ReadFile walk, no hashing, no window) and the pane floor (the same lines into a bare"
  echo "output pane with its styles and font, in one insert, painted), both under Wine without process"
  echo "start; rhash -r --md5 natively. Ratio: Dunmo / max(walk floor, pane floor)."
  printf '%-13s %7s %7s %7s %8s %9s   %-26s %6s %16s %8s\n' case Dunmo walk pane lines/s "rhash -r" \
    "Dunmo/floor  target" "p99 ms" "worst answer" "peak MB"
  for n in "${COUNTS[@]}"; do folder_row "folder-$n" "$n files"; done
  [ -n "${DUNMO_BENCH_BIG:-}" ] && folder_row "folder-$BIG" "$BIG files"
  if [ -n "$(median "folder-${COUNTS[0]}|Dunmo")" ] && [ -n "$(median "folder-${COUNTS[-1]}|Dunmo")" ]; then
    echo "Lines per second at ${COUNTS[-1]} over those at ${COUNTS[0]}: $(awk "BEGIN { printf \"%.2f\", \
      (${COUNTS[-1]} / $(median "folder-${COUNTS[-1]}|Dunmo")) / (${COUNTS[0]} / $(median "folder-${COUNTS[0]}|Dunmo")) }") (target >= 0.75)"
  fi
  echo "Answers: a message sent to Dunmo's dialog about every 25 ms, timed until it returned, and one"
  echo "posted behind what it had queued (as a click waits); 99th percentile and worst of all rounds"
  echo "(target <= 100 ms). Peak MB: Dunmo's peak working set (10^6 bytes)."
fi

if want eight; then
  echo
  echo "8 files of 128 MiB in the page cache, median seconds of $ROUNDS rounds. Dunmo from Enter to the"
  echo "last line, as is and limited to one processor (one hasher); the others as whole commands."
  printf '%-6s %7s %8s %7s %7s %7s %7s %9s   %-9s %-26s %s\n' digest Dunmo "1 CPU" speed-up rhash 7zz openssl \
    coreutils fastest "Dunmo/fastest  target" "answers: p99 / worst"
  for algorithm in md5 sha1; do
    ours=$(median "eight-$algorithm|Dunmo") one=$(median "eight-$algorithm-1cpu|Dunmo") cells=()
    for tool in rhash 7zz openssl coreutils; do m=$(median "eight-$algorithm|$tool"); cells+=("${m:--}"); done
    read -r best fastest < <(fastest_of "eight-$algorithm" rhash 7zz openssl coreutils)
    printf '%-6s %7s %8s %7sx %7s %7s %7s %9s   %-9s %-26s %s\n' "$algorithm" "$ours" "$one" \
      "$(ratio "$one" "$ours")" "${cells[@]}" "$fastest" "$(verdict "$(ratio "$ours" "$best")" 0.6)" \
      "$(ms "${P99[eight-$algorithm]:-}") / $(answer "${WORST[eight-$algorithm]:-}")"
  done
  echo "Speed-up: the one-processor time over Dunmo's (target >= 1.6x)."
fi

if want close; then
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
fi
echo
if [ "${#BAD[@]}" -eq 0 ]; then
  echo "Every digest matched md5sum/sha1sum/crc32; every folder line was present exactly once."
else
  printf '!!! %s\n' "${BAD[@]}"
  exit 1
fi
