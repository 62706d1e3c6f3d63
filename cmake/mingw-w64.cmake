# What Debian's mingw-w64 cross compilers for Windows share, for either processor:
# the toolchain files set CMAKE_SYSTEM_PROCESSOR and Q2MR_MINGW, then include this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${Q2MR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${Q2MR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${Q2MR_MINGW}-windres)
set(Q2MR_WIDL ${Q2MR_MINGW}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${Q2MR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The libraries and programs carry their C and C++ runtimes, so that they need system
# DLLs only. The UTF-16 texts are char16_t in the project and wchar_t in the system's
# headers; aliasing between the two is kept defined.
set(CMAKE_CXX_FLAGS_INIT "-fno-strict-aliasing")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
