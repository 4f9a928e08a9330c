#!/usr/bin/env bash
# Screenshots of the real Dunmo.exe at 96, 144 and 192 DPI and in a
# high-contrast colour scheme, each in English and Simplified Chinese: one
# while a job runs (its controls disabled, the bar part way, the lines of the
# files done so far) and one after it, with the last two lines selected by
# the run driver. Each setting has a Wine prefix of its own under
# build/screenshots/ (never the tests' prefix); the PNGs are saved beside them
# as build/screenshots/<setting>-<language>-{busy,done}.png.
# Under Wine 8 the English dialog at 192 DPI lays out as at 144 (MS Sans Serif
# has no size between 20 and 40 px) while its glyphs, bars and pane scale.
#
# Usage: scripts/screenshots.sh [SETTING...]   (dpi96 dpi144 dpi192 contrast)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
if [ "$(scripts/wine-target.sh)" = i686 ]; then build="$root/build/wine"; target=i686
else build="$root/build/wine64"; target=x86_64; fi
out="$root/build/screenshots"

if [ -z "${DUNMO_SHOTS_INSIDE_XVFB:-}" ]; then
  [ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
                                   -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$target.cmake" >/dev/null
  cmake --build "$build" --target Dunmo RunDriver >/dev/null
  # Room for the main dialog at 192 DPI.
  DUNMO_SHOTS_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$@"
fi

settings=("$@")
[ ${#settings[@]} -gt 0 ] || settings=(dpi96 dpi144 dpi192 contrast)

# Two small files whose lines show at once, then one the job takes seconds over.
data="$out/data"
mkdir -p "$data"
printf abc >"$data/abc.txt"
printf '中文' >"$data/名字.txt"
[ -f "$data/large.bin" ] || truncate -s 6G "$data/large.bin"
windows_path() { local unix; unix="$(realpath -m -- "$1")"; printf 'Z:%s' "${unix//\//\\}"; }

# A classic high-contrast scheme: white text on black, selection in purple,
# disabled text in green.
contrast_colours=(
  "ActiveBorder=255 255 0" "ActiveTitle=128 0 128" "AppWorkspace=0 0 0" "Background=0 0 0"
  "ButtonAlternateFace=0 0 0" "ButtonDkShadow=255 255 255" "ButtonFace=0 0 0" "ButtonHilight=255 255 255"
  "ButtonLight=255 255 255" "ButtonShadow=128 128 128" "ButtonText=255 255 255"
  "GradientActiveTitle=128 0 128" "GradientInactiveTitle=0 128 0" "GrayText=63 242 0"
  "Hilight=128 0 128" "HilightText=255 255 255" "HotTrackingColor=255 255 0" "InactiveBorder=0 128 0"
  "InactiveTitle=0 128 0" "InactiveTitleText=255 255 255" "InfoText=255 255 255" "InfoWindow=0 0 0"
  "Menu=0 0 0" "MenuBar=0 0 0" "MenuHilight=128 0 128" "MenuText=255 255 255" "Scrollbar=0 0 0"
  "TitleText=255 255 255" "Window=0 0 0" "WindowFrame=255 255 255" "WindowText=255 255 255")

configure() {  # setting
  local dpi=96
  case "$1" in dpi144) dpi=144 ;; dpi192) dpi=192 ;; esac
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  if [ "$1" = contrast ]; then
    for pair in "${contrast_colours[@]}"; do
      wine reg add 'HKCU\Control Panel\Colors' /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f >/dev/null 2>&1
    done
  fi
  wineserver -k || true  # the settings are read when the next session starts
  wineserver -w
}

# The top-level X window whose title starts with "Dunmo".
dunmo_window() { xdotool search --onlyvisible --name '^Dunmo' 2>/dev/null | head -n 1 || true; }

shoot() {  # setting language
  local name="$out/$1-$2" handshake wid
  handshake="$(mktemp -d)"
  LANG="$([ "$2" = zh ] && echo zh_CN.UTF-8 || echo en_US.UTF-8)" LC_ALL='' \
    wine "$build/RunDriver.exe" "$(wine winepath -w "$build/Dunmo.exe")" "$(wine winepath -w "$handshake")" \
    "$(windows_path "$data/abc.txt")" "$(windows_path "$data/名字.txt")" "$(windows_path "$data/large.bin")" \
    >"$name.lines" 2>/dev/null &
  local driver=$!
  for _ in $(seq 100); do wid="$(dunmo_window)"; [ -n "$wid" ] && break; sleep 0.1; done
  sleep 1.5
  if [ -n "$wid" ] && [ ! -e "$handshake/ready" ]; then import -window "$wid" "$name-busy.png"; fi
  while [ ! -e "$handshake/ready" ] && kill -0 "$driver" 2>/dev/null; do sleep 0.2; done
  # The driver has selected the last two lines and focused the pane.
  if [ -n "$wid" ] && [ -e "$handshake/ready" ]; then sleep 0.5; import -window "$wid" "$name-done.png"; fi
  touch "$handshake/shot"
  wait "$driver" || true
  rm -rf "$handshake"
  echo "$1 $2: $(ls "$name"-*.png 2>/dev/null | xargs -n1 basename | tr '\n' ' ')"
}

for setting in "${settings[@]}"; do
  export DUNMO_BUILD="$build" DUNMO_WINEPREFIX="$out/$setting/prefix"
  scripts/wine-prefix.sh "$build"
  source scripts/wine-env.sh
  configure "$setting"
  for language in en zh; do shoot "$setting" "$language"; done
  wineserver -k 2>/dev/null || true
done
