# Every build compiles through ccache when it is there. Its cache lives outside the clone
# (ccache's own default, ~/.cache/ccache), and paths under the source folder are hashed
# relative to it, so a fresh clone elsewhere finds what an earlier one compiled.
# Q2MR_CCACHE=OFF turns it off; a launcher given by the caller wins.
option(Q2MR_CCACHE "Compile through ccache when it is installed" ON)
find_program(Q2MR_CCACHE_PROGRAM ccache)
if(Q2MR_CCACHE AND Q2MR_CCACHE_PROGRAM)
  foreach(lang C CXX)
    if(NOT CMAKE_${lang}_COMPILER_LAUNCHER)
      set(CMAKE_${lang}_COMPILER_LAUNCHER /usr/bin/env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
          CCACHE_NOHASHDIR=true CCACHE_SLOPPINESS=pch_defines,time_macros ${Q2MR_CCACHE_PROGRAM})
    endif()
  endforeach()
endif()
