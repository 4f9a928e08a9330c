#!/usr/bin/env bash
# Creates (once) and configures the private Wine prefix: classic control look,
# window frames drawn by Wine (no window manager under Xvfb), and the bitmap
# fonts that give dialogs their true size; T: and L: are mapped to folders of
# the build.
set -euo pipefail
DUNMO_BUILD="$(cd "$1" && pwd)"
source "$(dirname "$0")/wine-env.sh"

if [ ! -f "$WINEPREFIX/.dunmo-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f >/dev/null 2>&1
  # Without a window manager, unmanaged windows close at once instead of
  # waiting about two seconds for one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # The output pane's "Courier New" is not in the prefix; draw it with a
  # metric-compatible monospace font.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'Liberation Mono' /f >/dev/null 2>&1
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  wineserver -w
  touch "$WINEPREFIX/.dunmo-ready"
fi

# Settings added since: each marker applies them once, to new and older
# prefixes alike. In the Chinese locale Wine makes the caption font "MS Shell
# Dlg" stand for SimSun, which is not installed, and draws boxes for the
# title: draw SimSun with the CJK font that set-up installs.
if [ ! -f "$WINEPREFIX/.dunmo-ready-2" ]; then
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.dunmo-ready-2"
fi

# T: is a drive of its own whose root the tests may fill and empty.
mkdir -p "$DUNMO_BUILD/drive-t"
ln -sfn "$DUNMO_BUILD/drive-t" "$WINEPREFIX/dosdevices/t:"

# L: holds a tree with real links, which Windows programs under Wine cannot
# make: two loops to an ancestor, a link to a sibling that is also walked
# directly, and a link to a folder outside the tree.
links="$DUNMO_BUILD/link-tree"
if [ ! -e "$links/top/sub/up2" ]; then
  mkdir -p "$links/top/sub" "$links/data"
  printf a >"$links/top/a.txt"
  printf b >"$links/top/sub/b.txt"
  printf d >"$links/data/d.txt"
  ln -sfn .. "$links/top/sub/up1"
  ln -sfn ../../top "$links/top/sub/up2"
  ln -sfn sub "$links/top/sibling"
  ln -sfn ../data "$links/top/outside"
fi
ln -sfn "$links" "$WINEPREFIX/dosdevices/l:"
