# A 64-bit build of the same source, for testing under a Wine that runs no
# 32-bit programs (a kernel without 32-bit emulation). It is never shipped.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VOKT_MINGW_PREFIX x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake")
