# Corvantelix.dll for 32-bit Windows, cross-built with Debian's mingw-w64.
# The C and C++ runtimes (and the thread library of the posix variant) are
# linked statically into every binary, so the DLL, the script host and the
# test program import nothing but Windows system DLLs.
#   cmake --preset win32
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CVX_MINGW i686-w64-mingw32)
set(CMAKE_C_COMPILER ${CVX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CVX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${CVX_MINGW}-windres)
set(CMAKE_OBJDUMP ${CVX_MINGW}-objdump CACHE FILEPATH "objdump for PE files")

set(_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_static}")

set(CMAKE_FIND_ROOT_PATH /usr/${CVX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
