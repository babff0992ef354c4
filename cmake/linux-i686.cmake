# 32-bit x86 Linux with the host's multilib GCC (-m32): the same word width
# and ScriptString layout as the 32-bit engine (chars at byte 12, capacity at
# 16). The programs it builds run directly where the CPU runs 32-bit code,
# or through qemu-i386 registered with binfmt_misc (scripts/emulate-i386).
#   cmake --preset m32
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
# Libraries of the i386 multiarch (libmariadb3:i386) are found there.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
