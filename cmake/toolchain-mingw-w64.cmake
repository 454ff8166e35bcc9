# Cross-compiling a Windows console executable with mingw-w64, included by
# the toolchain file of each target (toolchain-i686-w64-mingw32.cmake for the
# shipped 32-bit program, toolchain-x86_64-w64-mingw32.cmake for the 64-bit
# test build), which sets VOKT_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR.
#
# The win32 thread-model compiler is named explicitly instead of the
# <prefix>-g++ alternative, whose target the machine's administrator may
# switch; the tool uses no threads. The runtime libraries are linked
# statically, so the executable needs nothing beyond the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VOKT_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VOKT_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${VOKT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOKT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
