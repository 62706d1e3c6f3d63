# q2mr_build_paths(TARGET PUBLIC|PRIVATE|INTERFACE NAME VALUE [NAME VALUE...]): each NAME a
# macro that TARGET's sources read as a `const char*`, naming a place of this build or
# clone (VALUE; generator expressions allowed). The compile lines carry only the names: the
# values live in one generated source, so that a clone in another folder compiles the very
# same lines and finds them in ccache. An INTERFACE target hands its paths to its users.
function(q2mr_build_paths target scope)
  set(declarations "// The build's places, defined in ${target}_build_paths.cpp.\n#pragma once\n")
  set(definitions "")
  set(names)
  set(arguments ${ARGN})
  while(arguments)
    list(POP_FRONT arguments name value)
    string(APPEND declarations "extern const char* const q2mr_build_path_${name};\n")
    string(APPEND definitions "extern const char* const q2mr_build_path_${name} = \"${value}\";\n")
    list(APPEND names ${name}=q2mr_build_path_${name})
  endwhile()
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/build_paths)
  file(WRITE ${folder}/${target}_build_paths.h.new "${declarations}")
  file(COPY_FILE ${folder}/${target}_build_paths.h.new ${folder}/${target}_build_paths.h ONLY_IF_DIFFERENT)
  file(GENERATE OUTPUT ${folder}/${target}_build_paths.cpp CONTENT "${definitions}")
  target_sources(${target} ${scope} ${folder}/${target}_build_paths.cpp)
  target_compile_definitions(${target} ${scope} ${names})
  target_compile_options(${target} ${scope} "SHELL:-include ${folder}/${target}_build_paths.h")
endfunction()
