# Debian's mingw-w64 cross compiler for 32-bit Windows, the posix-threads variant.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(Q2MR_MINGW i686-w64-mingw32)

set(CMAKE_C_COMPILER ${Q2MR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${Q2MR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${Q2MR_MINGW}-windres)
set(Q2MR_WIDL ${Q2MR_MINGW}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${Q2MR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# As for 64-bit Windows (mingw-w64-x86_64.cmake): the C and C++ runtimes linked in, and
# aliasing between char16_t and wchar_t texts kept defined.
set(CMAKE_CXX_FLAGS_INIT "-fno-strict-aliasing")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The exports' .def files name the functions plainly; their __stdcall symbols carry @N.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
