# The C++ side of the IDL files, written by scripts/idlgen.py at build time: each interface
# is written once, in its IDL.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(Q2MR_IDL_CXX ${CMAKE_BINARY_DIR}/idl/include)

# q2mr_idl(IDL NAMESPACE ns INTERFACE target [DESCRIPTIONS target] [SHIMS_HEADER name.h]
#          [OPTIONS generator options...])
# writes ${Q2MR_IDL_CXX}/<folder>/<name>_idl.h (included as <folder/name_idl.h>) before
# anything that uses the INTERFACE library compiles, and with DESCRIPTIONS also
# <name>_idl.cpp, the descriptions, into that target; SHIMS_HEADER writes the shims
# (--shims) to a header of that name beside the first. An edit of the IDL, of a file it
# imports or of the generator writes them again.
function(q2mr_idl idl)
  cmake_parse_arguments(G "" "NAMESPACE;INTERFACE;DESCRIPTIONS;SHIMS_HEADER" "OPTIONS" ${ARGN})
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${idl})
  string(REGEX REPLACE "\\.idl$" "_idl" stem ${rel})
  string(REPLACE "/" "_" name ${stem})
  set(header ${Q2MR_IDL_CXX}/${stem}.h)
  set(outputs ${header})
  set(args ${idl} --root ${PROJECT_SOURCE_DIR} --namespace ${G_NAMESPACE} --header ${header}
           --depfile ${CMAKE_CURRENT_BINARY_DIR}/${name}.d ${G_OPTIONS})
  if(G_DESCRIPTIONS)
    list(APPEND outputs ${Q2MR_IDL_CXX}/${stem}.cpp)
    list(APPEND args --source ${Q2MR_IDL_CXX}/${stem}.cpp)
  endif()
  if(G_SHIMS_HEADER)
    get_filename_component(folder ${header} DIRECTORY)
    list(APPEND outputs ${folder}/${G_SHIMS_HEADER})
    list(APPEND args --shims --shims-header ${folder}/${G_SHIMS_HEADER})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/idlgen.py ${args}
    DEPENDS ${idl} ${PROJECT_SOURCE_DIR}/scripts/idlgen.py ${PROJECT_SOURCE_DIR}/scripts/idl.py
    DEPFILE ${CMAKE_CURRENT_BINARY_DIR}/${name}.d
    COMMENT "Generating the C++ interfaces of ${rel}" VERBATIM)
  add_custom_target(${name} DEPENDS ${outputs})
  target_include_directories(${G_INTERFACE} INTERFACE ${Q2MR_IDL_CXX})
  add_dependencies(${G_INTERFACE} ${name})
  if(G_DESCRIPTIONS)
    target_sources(${G_DESCRIPTIONS} PRIVATE ${Q2MR_IDL_CXX}/${stem}.cpp)
  endif()
endfunction()
