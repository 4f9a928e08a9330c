# Cross build for Windows with the posix-threads mingw-w64 compilers of
# DUNMO_MINGW_ARCH (i686 or x86_64), set by the toolchain file that includes this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DUNMO_MINGW_ARCH})

set(CMAKE_C_COMPILER ${DUNMO_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUNMO_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${DUNMO_MINGW_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DUNMO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Self-contained executables: only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test and benchmark executables run under Wine in the build's private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env "DUNMO_BUILD=${CMAKE_BINARY_DIR}" "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
