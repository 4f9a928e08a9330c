# Sourced by the scripts that run Wine: a private 32-bit prefix inside the
# build folder, quiet, without the .NET and HTML installers.
: "${DUNMO_BUILD:?DUNMO_BUILD must name the build folder}"
export WINEPREFIX="${WINEPREFIX:-$DUNMO_BUILD/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
