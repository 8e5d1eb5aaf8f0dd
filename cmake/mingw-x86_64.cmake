# Cross build of the 64-bit Windows plug-ins (.sph) with Debian's MinGW-w64
# (posix threads variant). Test programs run under 64-bit Wine, in a 64-bit
# Wine prefix of the build's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(OBJDUMP x86_64-w64-mingw32-objdump)
set(CMAKE_CROSSCOMPILING_EMULATOR
    sh;${CMAKE_CURRENT_LIST_DIR}/wine_run.sh;/usr/lib/wine/wine64;win64;${CMAKE_BINARY_DIR}/wineprefix)
