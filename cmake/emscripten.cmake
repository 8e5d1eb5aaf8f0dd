# The web build: Debian's emscripten compiles the decoding code to
# WebAssembly. Its optimizer runs on Node.js and finds its modules through
# NODE_PATH, which the compiler and linker launches are given here.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_C_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
# 128-bit vectors, which every current browser has: the
# decoder's table moves use them.
set(CMAKE_C_FLAGS_INIT "-msimd128")
set(CMAKE_CXX_FLAGS_INIT "-msimd128")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-msimd128")
