# The shipped program: a 32-bit Windows console executable.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VOKT_MINGW_PREFIX i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake")
