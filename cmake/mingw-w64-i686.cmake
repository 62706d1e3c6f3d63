# Debian's mingw-w64 cross compiler for 32-bit Windows, the posix-threads variant.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(Q2MR_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# The exports' .def files name the functions plainly; their __stdcall symbols carry @N.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
