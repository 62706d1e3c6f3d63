# cmake -DSOURCE=... -DBINARY=... -P build-x86.cmake: builds the windows-x86 tree whose files
# the 64-bit build's packages carry, configuring it with its preset first. It runs on its
# own make (the calling build's job slots do not reach it), one job at a time.
if(NOT EXISTS ${BINARY}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset windows-x86 -B ${BINARY} WORKING_DIRECTORY ${SOURCE}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "The 32-bit build (${BINARY}) could not be configured: run `cmake --preset windows-x86` "
                        "and `cmake --build --preset windows-x86` to see why.")
  endif()
endif()
set(ENV{MAKEFLAGS} "")
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The 32-bit build (${BINARY}) failed: the packages carry its files.")
endif()
