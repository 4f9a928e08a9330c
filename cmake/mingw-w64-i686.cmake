# Cross build for 32-bit Windows: the shipped Dunmo.exe.
set(DUNMO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
