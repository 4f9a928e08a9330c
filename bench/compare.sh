#!/usr/bin/env bash
# What the user waits for: the real Dunmo.exe under Wine (the x86_64 build),
# driven through its window by bench_compare.exe, beside general-purpose hash
# tools on the same data in the page cache, round by round, then medians.
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS] [CASES]   default build/bench-wine, 5,
#                                  "kernels file folders eight four job close"
#   DUNMO_BENCH_BIG=1 bench/compare.sh ...          also 300,000 files, once
#   DUNMO_BENCH_SCALE=N bench/compare.sh ...        every size and count divided
#                                                   by N (data of its own): a quick run
#   DUNMO_BENCH_BEFORE=DIR|COMMIT bench/compare.sh ...
#                                  the folder cases also with another Dunmo.exe:
#                                  a build folder's, or COMMIT's, built once in
#                                  BUILD_DIR/before-COMMIT from its tree (git archive)
#
# kernels: the build's own digest paths (bench_algorithms kernels, under Wine),
# each digest's chosen one marked, and the lanes paths beside one stream; and
# openssl speed -evp sha512 natively beside the SHA-512 kernel. Measured once,
# best of three passes; the file and folder cases quote the kernels chosen.
# file: a 1 GiB random file; Dunmo's MD5 from launch, and MD5, SHA-1, CRC32,
# SHA-256 and SHA-512 from a radio click, to the result line; rhash, 7zz,
# openssl and md5sum/sha1sum/crc32/sha256sum/sha512sum as whole commands; each
# click beside its kernel's time for the file, and CRC32 also beside the read
# floor (the file read whole under Wine into one reused buffer).
# folders: folders of 10,000 and 100,000 files of 0-4 KiB; Dunmo from Enter in
# the path box to the last line, beside the walk floor (a bare Win32 read walk)
# and the pane floor (the same lines into a bare output pane with its styles
# and font in one insert), both timed under Wine without process start, and
# rhash -r; with the window's slowest answers and Dunmo's peak memory.
# eight: a folder of 8 files of 128 MiB, MD5, SHA-1, SHA-256 and SHA-512 from
# Enter to the last line, Dunmo as is and limited to one processor (one
# hasher), beside rhash, 7zz, openssl and coreutils on the same files.
# four: a folder of 256 files of 4 MiB, MD5, the same way (as is only).
# job: the hashing job itself on both folders (bench_job, no window), SHA-256
# on the build's kernels, without the SHA extensions on the widest lanes and on
# the AVX2 ones, and on one stream of the portable code.
# close: Esc while Dunmo works on the big folder or the file.
# Every digest is checked and every folder's lines against its files.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build/bench-wine}")"
ROUNDS="${2:-5}"
CASES=" ${3:-kernels file folders eight four job close} "
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
  cmake -S . -B "$BUILD" -G Ninja -DDUNMO_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$(scripts/wine-target.sh).cmake" >/dev/null
fi
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DDUNMO_BENCH=ON >/dev/null
cmake --build "$BUILD" --target Dunmo bench_compare bench_algorithms bench_job >/dev/null
ARCH=$(scripts/wine-target.sh)
scripts/wine-prefix.sh "$BUILD"
export DUNMO_BUILD="$BUILD"
source scripts/wine-env.sh
wineserver -p  # one server for the whole run, or every start waits for it
trap 'wineserver -k' EXIT
DRIVER="$BUILD/bench/bench_compare.exe"
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# Sizes, and the data, made once and kept.
SCALE="${DUNMO_BENCH_SCALE:-1}"
size_label() { if [ "$1" -ge 1073741824 ]; then echo "$(($1 >> 30)) GiB"; else echo "$(($1 >> 20)) MiB"; fi; }
FILE_BYTES=$((1073741824 / SCALE)) PART_BYTES=$((134217728 / SCALE)) FOUR_COUNT=$((256 / SCALE))
FILE_LABEL=$(size_label "$FILE_BYTES") PART_LABEL=$(size_label "$PART_BYTES")
DATA="$BUILD/bench-data"
[ "$SCALE" -eq 1 ] || DATA="$BUILD/bench-data-scale$SCALE"
FILE="$DATA/random-1GiB.bin"
mkdir -p "$DATA"
if [ ! -f "$DATA/digests" ]; then
  head -c "$FILE_BYTES" /dev/urandom >"$FILE"
  { md5sum <"$FILE"; sha1sum <"$FILE"; crc32 "$FILE"; } | cut -d' ' -f1 | tr a-f A-F >"$DATA/digests"
fi
if [ "$(wc -l <"$DATA/digests")" -lt 4 ]; then sha256sum <"$FILE" | cut -d' ' -f1 | tr a-f A-F >>"$DATA/digests"; fi
if [ "$(wc -l <"$DATA/digests")" -lt 5 ]; then sha512sum <"$FILE" | cut -d' ' -f1 | tr a-f A-F >>"$DATA/digests"; fi
declare -A REF
{ read -r 'REF[md5]'; read -r 'REF[sha1]'; read -r 'REF[crc32]'; read -r 'REF[sha256]'; read -r 'REF[sha512]'; } <"$DATA/digests"
COUNTS=($((10000 / SCALE)) $((100000 / SCALE)))
BIG=$((300000 / SCALE))
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
if { want eight || want job; } && [ ! -f "$EIGHT.complete" ]; then
  rm -rf "$EIGHT" && mkdir -p "$EIGHT"
  for i in 1 2 3 4 5 6 7 8; do head -c "$PART_BYTES" /dev/urandom >"$EIGHT/part$i.bin"; done
  touch "$EIGHT.complete"
fi
FOUR="$DATA/four-MiB"
if { want four || want job; } && [ ! -f "$FOUR.complete" ]; then
  rm -rf "$FOUR" && mkdir -p "$FOUR"
  for i in $(seq -w "$FOUR_COUNT"); do head -c 4194304 /dev/urandom >"$FOUR/part$i.bin"; done
  touch "$FOUR.complete"
fi

# Another build's Dunmo.exe for the folder cases: its folder, or a commit built here.
BEFORE_EXE=""
if [ -n "${DUNMO_BENCH_BEFORE:-}" ]; then
  if [ -d "$DUNMO_BENCH_BEFORE" ]; then
    BEFORE_EXE="$(realpath "$DUNMO_BENCH_BEFORE")/Dunmo.exe"
  else
    commit=$(git rev-parse --verify --short "$DUNMO_BENCH_BEFORE^{commit}")
    before="$BUILD/before-$commit"
    if [ ! -f "$before/build/Dunmo.exe" ]; then
      echo "building Dunmo.exe of $commit in $before" >&2
      rm -rf "$before" && mkdir -p "$before/src"
      git archive "$commit" | tar -x -C "$before/src"
      cmake -S "$before/src" -B "$before/build" -G Ninja -DDUNMO_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$before/src/cmake/mingw-w64-$ARCH.cmake" >/dev/null
      nice -n 10 cmake --build "$before/build" --target Dunmo >/dev/null
    fi
    BEFORE_EXE="$before/build/Dunmo.exe"
  fi
  [ -f "$BEFORE_EXE" ] || { echo "no Dunmo.exe at $BEFORE_EXE" >&2; exit 1; }
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
# several CASE FOLDER ALGORITHM TOOL COMMAND...: times the command on the
# folder's files, checks it printed a digest for each.
several() {
  local key=$1 folder=$2 algorithm=$3 tool=$4 start out
  local -a paths=("$folder"/part*.bin)
  shift 4
  start=$(date +%s.%N)
  out=$("$@" "${paths[@]}" 2>&1)
  add "$key-$algorithm|$tool" "$(elapsed "$start")"
  local digits="\b[0-9a-f]{${DIGITS[$algorithm]}}\b"
  check "$tool $algorithm on ${#paths[@]} files" "${#paths[@]}" "$(grep -ciE "$digits.*part|part.*$digits" <<<"$out")"
}
declare -A DIGITS=([md5]=32 [sha1]=40 [sha256]=64 [sha512]=128)
# peers KEY FOLDER ALGORITHM: rhash, 7zz, openssl and coreutils on the folder's files.
peers() {
  several "$1" "$2" "$3" rhash rhash "--$3"
  several "$1" "$2" "$3" 7zz 7zz h "-scrc${3^^}"
  several "$1" "$2" "$3" openssl openssl dgst "-$3"
  several "$1" "$2" "$3" coreutils "${3}sum"
}
maxof() { awk "BEGIN { a = ${1:-0}; b = ${2:-0}; print (a > b ? a : b) }"; }
# driver KEY MODE PATH [FILES] [OPTIONS...]: runs bench_compare.exe and files its results
# under KEY (the case; a file case files each digest under its own name).
driver() {
  local base=$1 mode=$2 path=$3 files=${4:-} name seconds worst p99 peak detail key
  shift 4 || shift $#
  while read -r _ name seconds worst p99 peak detail; do
    case $name in
      floor|panefloor) key="$base|$name"; check "$name on $files files" "$files" "$detail" ;;
      readfloor) key="readfloor|floor"; check "read floor bytes" "$FILE_BYTES" "$detail" ;;
      folder) key="$base|Dunmo"; check "$base on $files files" "$files/$files ok" "$detail" ;;
      close-*) key="$name$base|Dunmo" ;;
      *) key="$name|Dunmo"; check "Dunmo $name" "${REF[${name%-*}]}" "$detail" ;;
    esac
    add "$key" "$seconds"
    case $name in floor|panefloor|readfloor|close-*) ;; *)
      WORST[${key%|*}]=$(maxof "${WORST[${key%|*}]:-}" "$worst")
      P99[${key%|*}]=$(maxof "${P99[${key%|*}]:-}" "$p99")
      PEAK[${key%|*}]=$(maxof "${PEAK[${key%|*}]:-}" "$peak") ;;
    esac
  done < <(wine "$DRIVER" "$mode" "$(winpath "$path")" "$@" | tr -d '\r' | grep '^result ')
}
# folder_case KEY FOLDER N: Dunmo, both floors and rhash -r on one folder;
# also the other Dunmo.exe, when there is one.
folder_case() {
  find "$2" -type f -print0 | xargs -0 cat >/dev/null
  driver "$1" folder "$2" "$3"
  if [ -n "$BEFORE_EXE" ]; then DUNMO_BENCH_EXE="$(winpath "$BEFORE_EXE")" driver "$1-before" folder "$2" "$3"; fi
  driver "$1" floor "$2" "$3"
  driver "$1" panefloor "$2" "$3"
  local start lines
  start=$(date +%s.%N)
  lines=$(rhash -r --md5 "$2" | wc -l)
  add "$1|rhash" "$(elapsed "$start")"
  check "rhash -r on $3 files" "$3" "$lines"
}

# The kernels once: "kernel DIGEST single|lanes MB/S ONE_STREAM_MB/S chosen|- yes|NO NAME".
declare -A KERNEL KERNEL_NAME LANES_NAME  # KERNEL[digest]: the chosen single-stream path's MB/s
KERNEL_LINES="" OPENSSL_SHA512=""
if want kernels || want file || want eight || want four || want job; then
  echo "kernels" >&2
  KERNEL_LINES=$(wine "$BUILD/bench/bench_algorithms.exe" kernels | tr -d '\r')
  while read -r _ digest group rate _ chosen same name; do
    [ "$same" = yes ] || BAD+=("kernel $name: its digest differs from the portable path's")
    [ "$chosen" = chosen ] || continue
    if [ "$group" = single ]; then KERNEL[$digest]=$rate KERNEL_NAME[$digest]=$name; else LANES_NAME[$digest]=$name; fi
  done < <(grep '^kernel ' <<<"$KERNEL_LINES")
  # openssl speed prints its rates in 1000s of bytes a second, 16384-byte blocks last.
  OPENSSL_SHA512=$(openssl speed -evp sha512 -bytes 16384 -seconds 3 2>/dev/null |
    awk '$1 == "sha512" { v = $NF; sub(/k$/, "", v); printf "%.0f", v / 1000 }')
fi

for round in $(seq "$ROUNDS"); do
  echo "round $round of $ROUNDS" >&2
  if want file; then
    cat "$FILE" >/dev/null
    driver file file "$FILE"
    driver file readfloor "$FILE"
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
    for algorithm in md5 sha1 sha256 sha512; do
      driver "eight-$algorithm" folder "$EIGHT" 8 "$algorithm"
      driver "eight-$algorithm-1cpu" folder "$EIGHT" 8 "$algorithm" 1cpu
      peers eight "$EIGHT" "$algorithm"
    done
  fi
  if want four; then
    cat "$FOUR"/part*.bin >/dev/null
    driver four-md5 folder "$FOUR" "$FOUR_COUNT" md5
    peers four "$FOUR" md5
  fi
  if want close; then
    driver " ${COUNTS[-1]} files" close "$DATA/small-${COUNTS[-1]}"
    driver " $FILE_LABEL file" close "$FILE"
  fi
done
# The job benchmark runs its rounds itself, each kernel choice in turn:
# "result CHOICE MEDIAN_SECONDS LINES/FILES same|DIFFERENT LANES".
declare -A JOB JOB_KERNELS JOB_LANES
if want job; then
  for folder in eight four; do
    echo "job: $folder, $ROUNDS rounds" >&2
    dir=$EIGHT; [ "$folder" = four ] && dir=$FOUR
    cat "$dir"/part*.bin >/dev/null
    while read -r kind choice seconds lines same rest; do
      if [ "$kind" = kernels ]; then JOB_KERNELS[$folder]="$choice $seconds $lines $same $rest"; continue; fi
      JOB[$folder-$choice]=$seconds JOB_LANES[$choice]=$rest
      count=$(find "$dir" -name 'part*.bin' | wc -l)
      [ "$same" = not-available ] || check "bench_job $choice on $folder" "$count/$count same" "$lines $same"
    done < <(wine "$BUILD/bench/bench_job.exe" "$(winpath "$dir")" sha256 "$ROUNDS" | tr -d '\r' | grep -E '^(result|kernels) ')
  done
fi
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
verdict() { awk "BEGIN { printf \"%5.2fx  <= %sx %s\", $1, \"$2\", ($1 <= $2 ? \"met \" : \"OVER\") }"; }
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

# pass RATIO TARGET: met or not, for a target that is a floor (>=).
pass() { awk "BEGIN { printf \"%5.2fx  >= %sx %s\", $1, \"$2\", ($1 >= $2 ? \"met \" : \"UNDER\") }"; }
if want kernels && [ -n "$KERNEL_LINES" ]; then
  echo
  read -r _ built features < <(grep '^build ' <<<"$KERNEL_LINES")
  echo "Kernels of the $built build ($features), under Wine:"
  echo "256 MiB in 64 KiB pieces (SHA-512: 1 MiB; lanes: 8 messages, 1 MiB of each a call), best of"
  echo "3 passes, MB/s (10^6 bytes/s); a path beside the portable one, lanes beside one stream."
  printf '%-7s %-6s %-28s %8s %10s %6s  %-6s %s\n' digest kind path MB/s beside ratio chosen "same result"
  while read -r _ digest group rate reference chosen same name; do
    printf '%-7s %-6s %-28s %8s %10s %6s  %-6s %s\n' "$digest" "$group" "$name" "$rate" "$reference" \
      "$(ratio "$rate" "$reference")" "$([ "$chosen" = chosen ] && echo yes || echo -)" "$same"
  done < <(grep '^kernel ' <<<"$KERNEL_LINES")
  if [ -n "$OPENSSL_SHA512" ] && [ -n "${KERNEL[sha512]:-}" ]; then
    echo "SHA-512 kernel (${KERNEL_NAME[sha512]}) ${KERNEL[sha512]} MB/s beside openssl speed -evp sha512 -bytes 16384" \
      "(64-bit, native) $OPENSSL_SHA512 MB/s: $(pass "$(ratio "${KERNEL[sha512]}" "$OPENSSL_SHA512")" 0.75)"
  fi
fi

if want file; then
  echo
  echo "$FILE_LABEL random file in the page cache, median seconds of $ROUNDS rounds; Dunmo under Wine from"
  echo "the CreateProcess call (launch) or the radio click to its line, the others as whole commands."
  printf '%-13s %7s %6s %7s %7s %7s %9s   %-9s %-26s %s\n' case Dunmo MB/s rhash 7zz openssl coreutils \
    fastest "Dunmo/fastest  target" "answers: p99 / worst"
  declare -A TARGET=([md5]=1.0 [sha1]=0.8 [crc32]=0.5 [sha256]=1.0 [sha512]=1.0)
  for c in md5-launch md5-click sha1-click crc32-click sha256-click sha512-click; do
    algorithm=${c%-*} ours=$(median "$c|Dunmo") cells=()
    [ -n "$ours" ] || { echo "$c: not measured (no such button in this build)"; continue; }
    for tool in rhash 7zz openssl coreutils; do m=$(median "$algorithm|$tool"); cells+=("${m:--}"); done
    read -r best fastest < <(fastest_of "$algorithm" rhash 7zz openssl coreutils)
    printf '%-13s %7s %6.0f %7s %7s %7s %9s   %-9s %-26s %s\n' "$c" "$ours" "$(awk "BEGIN { print $FILE_BYTES / 1e6 / $ours }")" \
      "${cells[@]}" "$fastest" "$(verdict "$(ratio "$ours" "$best")" "${TARGET[$algorithm]}")" \
      "$(ms "${P99[$c]:-}") / $(answer "${WORST[$c]:-0}")"
  done
  echo "(coreutils: md5sum, sha1sum, crc32, sha256sum and sha512sum; MB/s = 10^6 bytes/s)"
  echo
  echo "The same clicks beside the time the chosen kernel takes for the file (its rate above), and"
  echo "CRC32 beside the read floor: the file through ReadFile under Wine, 1 MiB at a time into one buffer."
  printf '%-13s %7s %7s   %-26s %-34s %s\n' case Dunmo kernel "Dunmo/kernel  target" "Dunmo/floor  target" path
  floor=$(median "readfloor|floor")
  for c in md5-click sha1-click crc32-click sha256-click sha512-click; do
    algorithm=${c%-*} ours=$(median "$c|Dunmo")
    if [ -z "$ours" ] || [ -z "${KERNEL[$algorithm]:-}" ]; then continue; fi
    kernel=$(awk "BEGIN { printf \"%.3f\", $FILE_BYTES / 1e6 / ${KERNEL[$algorithm]} }")
    # CRC32 outruns the reads: its target is the floor's.
    mark=$(verdict "$(ratio "$ours" "$kernel")" 1.1) extra=""
    if [ "$algorithm" = crc32 ]; then
      mark="$(ratio "$ours" "$kernel")x  (target: floor)"
      [ -n "$floor" ] && extra="floor $floor s: $(verdict "$(ratio "$ours" "$floor")" 1.5)"
    fi
    printf '%-13s %7s %7s   %-26s %-34s %s\n' "$c" "$ours" "$kernel" "$mark" "$extra" "${KERNEL_NAME[$algorithm]}"
  done
fi

folder_row() {  # folder_row KEY LABEL FILES [FLOORS_KEY]
  local ours walk pane floor rate
  ours=$(median "$1|Dunmo") walk=$(median "${4:-$1}|floor") pane=$(median "${4:-$1}|panefloor")
  [ -n "$ours" ] || return 0
  floor=$(maxof "$walk" "$pane")
  rate=$(awk "BEGIN { printf \"%.0f\", $3 / $ours }")
  printf '%-13s %7s %7s %7s %8s %9s   %-26s %6s %16s %8s\n' "$2" "$ours" "$walk" "$pane" "$rate" \
    "$(median "${4:-$1}|rhash")" "$(verdict "$(ratio "$ours" "$floor")" 1.3)" "$(ms "${P99[$1]:-}")" \
    "$(answer "${WORST[$1]:-}")" "$(ms "${PEAK[$1]:-}")"
}
if want folders || [ -n "${DUNMO_BENCH_BIG:-}" ]; then
  echo
  echo "Folders of small files (0-4 KiB) in the page cache, median seconds of $ROUNDS rounds ($BIG: once)."
  echo "Dunmo from Enter in its path box to the last line; the walk floor (a bare Win32 FindNextFile/"
  echo "CreateFile/ReadFile walk, no hashing, no window) and the pane floor (the same lines into a bare"
  echo "output pane with its styles and font, in one insert, painted), both under Wine without process"
  echo "start; rhash -r --md5 natively. Ratio: Dunmo / max(walk floor, pane floor)."
  printf '%-13s %7s %7s %7s %8s %9s   %-26s %6s %16s %8s\n' case Dunmo walk pane lines/s "rhash -r" \
    "Dunmo/floor  target" "p99 ms" "worst answer" "peak MB"
  for n in "${COUNTS[@]}"; do
    folder_row "folder-$n" "$n files" "$n"
    [ -z "$BEFORE_EXE" ] || folder_row "folder-$n-before" "  before" "$n" "folder-$n"
  done
  if [ -n "${DUNMO_BENCH_BIG:-}" ]; then
    folder_row "folder-$BIG" "$BIG files" "$BIG"
    [ -z "$BEFORE_EXE" ] || folder_row "folder-$BIG-before" "  before" "$BIG" "folder-$BIG"
  fi
  if [ -n "$(median "folder-${COUNTS[0]}|Dunmo")" ] && [ -n "$(median "folder-${COUNTS[-1]}|Dunmo")" ]; then
    echo "Lines per second at ${COUNTS[-1]} over those at ${COUNTS[0]}: $(awk "BEGIN { printf \"%.2f\", \
      (${COUNTS[-1]} / $(median "folder-${COUNTS[-1]}|Dunmo")) / (${COUNTS[0]} / $(median "folder-${COUNTS[0]}|Dunmo")) }") (target >= 0.75)"
  fi
  echo "Answers: a message sent to Dunmo's dialog about every 25 ms, timed until it returned, and one"
  echo "posted behind what it had queued (as a click waits); 99th percentile and worst of all rounds"
  echo "(target <= 100 ms). Peak MB: Dunmo's peak working set (10^6 bytes)."
  if [ -n "$BEFORE_EXE" ]; then
    echo "Before: $BEFORE_EXE, the same driver, floors and files; its time over this build's:"
    for n in "${COUNTS[@]}" ${DUNMO_BENCH_BIG:+$BIG}; do
      a=$(median "folder-$n|Dunmo") b=$(median "folder-$n-before|Dunmo")
      [ -n "$a" ] && [ -n "$b" ] && echo "  $n files: before $b s, now $a s, $(ratio "$b" "$a")x"
    done
  fi
fi

# several_row KEY ALGORITHM TARGET: one digest on a folder of large files.
several_row() {
  local key=$1-$2 ours one cells=() tool m best fastest mark kernel
  ours=$(median "$key|Dunmo") one=$(median "$key-1cpu|Dunmo")
  [ -n "$ours" ] || return 0
  for tool in rhash 7zz openssl coreutils; do m=$(median "$key|$tool"); cells+=("${m:--}"); done
  read -r best fastest < <(fastest_of "$key" rhash 7zz openssl coreutils)
  if [ "$3" = - ]; then mark="$(ratio "$ours" "$best")x  (no target)"; else mark=$(verdict "$(ratio "$ours" "$best")" "$3"); fi
  kernel=${LANES_NAME[$2]:-${KERNEL_NAME[$2]:--}}
  printf '%-6s %7s %8s %8s %7s %7s %7s %9s   %-9s %-26s %-22s %s\n' "$2" "$ours" "${one:--}" \
    "$([ -n "$one" ] && echo "$(ratio "$one" "$ours")x" || echo -)" "${cells[@]}" "$fastest" "$mark" \
    "$(ms "${P99[$key]:-}") / $(answer "${WORST[$key]:-}")" "$kernel"
}
several_header() {
  printf '%-6s %7s %8s %8s %7s %7s %7s %9s   %-9s %-26s %-22s %s\n' digest Dunmo "1 CPU" speed-up rhash 7zz \
    openssl coreutils fastest "Dunmo/fastest  target" "answers: p99 / worst" "kernel chosen"
}
if want eight; then
  echo
  echo "8 files of $PART_LABEL in the page cache, median seconds of $ROUNDS rounds. Dunmo from Enter to the"
  echo "last line, as is and limited to one processor (one hasher); the others as whole commands."
  several_header
  declare -A EIGHT_TARGET=([md5]=0.25 [sha1]=0.5 [sha256]=0.55 [sha512]=-)
  for algorithm in md5 sha1 sha256 sha512; do several_row eight "$algorithm" "${EIGHT_TARGET[$algorithm]}"; done
  echo "Speed-up: the one-processor time over Dunmo's (target >= 1.6x). Kernel: the lanes path Dunmo's"
  echo "build chose, or its single-stream path where the digest has no lanes (bench_algorithms kernels)."
fi
if want four; then
  echo
  echo "$FOUR_COUNT files of 4 MiB in the page cache, median seconds of $ROUNDS rounds, the same way."
  several_header
  several_row four md5 0.3
fi
if want job && [ "${#JOB[@]}" -gt 0 ]; then
  echo
  echo "The hashing job itself (bench_job: HashJob without a window, its posts taken by a counter),"
  echo "SHA-256, median seconds of $ROUNDS rounds: the build's kernels, with the SHA extensions off the"
  echo "widest lanes (AVX-512's where present) and the AVX2 lanes, and one stream of the portable code."
  printf '%-16s %8s %11s %8s %9s   %s\n' folder chosen no-sha-ext avx2-x8 portable "portable/no-sha-ext  target"
  for folder in eight four; do
    label="8 x $PART_LABEL"; [ "$folder" = four ] && label="$FOUR_COUNT x 4 MiB"
    a=${JOB[$folder-no-sha-ext]:--} b=${JOB[$folder-portable]:--}
    printf '%-16s %8s %11s %8s %9s   %s\n' "$label" "${JOB[$folder-chosen]:--}" "$a" "${JOB[$folder-avx2-x8]:--}" "$b" \
      "$(if [ "$a" != - ] && [ "$b" != - ]; then pass "$(ratio "$b" "$a")" 3; else echo "no AVX2 here"; fi)"
  done
  echo "Chosen by the job's build: ${JOB_KERNELS[eight]:-}; files hashed at once: chosen ${JOB_LANES[chosen]:--}," \
    "no-sha-ext ${JOB_LANES[no-sha-ext]:--}, portable ${JOB_LANES[portable]:--}"
fi

if want close; then
  echo
  echo "Closing (Esc) while Dunmo works, 0, 0.3 and 1 s after it turned busy: seconds from the close to the"
  echo "end of the process, worst of $ROUNDS rounds (target <= 0.2 s)."
  for what in "${COUNTS[-1]} files" "$FILE_LABEL file"; do
    printf '%-16s' "$what"
    for delay in 0.0 0.3 1.0; do
      printf '  after %ss: %6s' "$delay" "$(tr ' ' '\n' <<<"${TIMES[close-after-${delay}s $what|Dunmo]:-}" | sort -g | tail -1)"
    done
    echo
  done
fi
echo
if [ "${#BAD[@]}" -eq 0 ]; then
  echo "Every digest matched md5sum/sha1sum/crc32/sha256sum/sha512sum; every folder line was present"
  echo "exactly once; every kernel path gave the portable path's digests."
else
  printf '!!! %s\n' "${BAD[@]}"
  exit 1
fi
