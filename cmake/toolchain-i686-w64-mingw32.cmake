# Cross-compiling the 32-bit Windows console executable with mingw-w64.
#
# The win32 thread-model compiler is named explicitly instead of the
# i686-w64-mingw32-g++ alternative, whose target the machine's administrator
# may switch; the tool uses no threads. The runtime libraries are linked
# statically, so the executable needs nothing beyond KERNEL32 and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VOKT_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VOKT_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VOKT_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${VOKT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOKT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
