# Debian's mingw-w64 cross compiler for 64-bit Windows, the posix-threads variant.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(Q2MR_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
