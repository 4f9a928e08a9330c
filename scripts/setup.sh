#!/usr/bin/env bash
# Installs what building and testing Dunmo needs on Debian 12, skipping what is
# already there. Run as root (or with sudo available); safe to run repeatedly.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth xdotool imagemagick
  fonts-wine fonts-wqy-microhei fonts-liberation locales
  libgtest-dev googletest libbenchmark-dev libssl-dev zlib1g-dev
  libz-mingw-w64-dev libarchive-zip-perl bc coreutils
  clang libclang-rt-14-dev  # the fuzz target: clang 14 and its libFuzzer and sanitizer runtimes
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]:-nothing (architecture only)}" >&2
  $SUDO apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
fi

# Wine picks the UI language and ANSI code page from the glibc locale, so both
# locales the tests use must exist.
for loc in en_US zh_CN; do
  if ! locale -a 2>/dev/null | grep -qix "${loc}.utf8"; then
    $SUDO localedef -i "$loc" -f UTF-8 "${loc}.UTF-8"
  fi
done
