# The plug-in logic, jamcg and the test programs as 32-bit Linux programs
# (i386), with Debian's g++-multilib: 32-bit pointers and size_t, the 32-bit
# record layouts and the 32-bit positioning limit, as in the 32-bit plug-ins,
# on any machine. Large-file offsets, so that the POSIX stand-in has no 2 GiB
# limit of its own. The test programs run through cmake/i386_run.sh: directly
# where the kernel runs 32-bit programs, else under qemu-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# No 64-bit library of the build machine may be found for it.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/i386_run.sh)
