# Sourced by the scripts that run Wine: a private prefix inside the build
# folder, quiet, without the .NET and HTML installers. A 64-bit build (made on
# hosts that run no 32-bit code) gets a 64-bit prefix and Wine's 64-bit loader.
# A WINEPREFIX the user has set for other programs (often a 64-bit one) is not
# ours to configure: only DUNMO_WINEPREFIX picks another prefix.
: "${DUNMO_BUILD:?DUNMO_BUILD must name the build folder}"
export WINEPREFIX="${DUNMO_WINEPREFIX:-$DUNMO_BUILD/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$(cat "$DUNMO_BUILD/wine-arch" 2>/dev/null)" = win64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  # The packaged "wine" picks the 32-bit loader whenever it is installed.
  if [ ! -x "$DUNMO_BUILD/wine-bin/wine" ]; then
    mkdir -p "$DUNMO_BUILD/wine-bin"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$DUNMO_BUILD/wine-bin/wine"
    chmod +x "$DUNMO_BUILD/wine-bin/wine"
  fi
  export PATH="$DUNMO_BUILD/wine-bin:$PATH"
else
  export WINEARCH=win32
fi
