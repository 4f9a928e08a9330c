# Cross build for 64-bit Windows, for tests and benchmarks on hosts that run
# no 32-bit code.
set(DUNMO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
