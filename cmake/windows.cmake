# What the Windows build needs beside the cross compiler: widl for the type libraries,
# resource scripts, and the header-only libraries without the host's /usr/include.
enable_language(RC)

find_program(Q2MR_WIDL_PROGRAM NAMES ${Q2MR_WIDL} widl REQUIRED)
# The type libraries' platform follows the pointer size of the toolchain's target.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(Q2MR_WIDL_PLATFORM --win32)
else()
  set(Q2MR_WIDL_PLATFORM --win64)
endif()
find_path(Q2MR_IDL_INCLUDE oaidl.idl PATHS /usr/include/wine/wine/windows NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(Q2MR_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(Q2MR_GENERATED ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${Q2MR_GENERATED})

# q2mr_widl(IDL TYPELIB name.tlb | HEADER) [DEPENDS files...]: a type library (with a
# target name_typelib that makes it), or a header with its IID definitions (name.h,
# name_i.c), written to ${Q2MR_GENERATED}.
function(q2mr_widl idl)
  cmake_parse_arguments(W "HEADER" "TYPELIB" "DEPENDS" ${ARGN})
  get_filename_component(stem ${idl} NAME_WE)
  set(flags ${Q2MR_WIDL_PLATFORM} -I${Q2MR_IDL_INCLUDE} -I${PROJECT_SOURCE_DIR}/emulator
            -L${Q2MR_STDOLE_DIR} -L${Q2MR_GENERATED})
  if(W_TYPELIB)
    add_custom_command(OUTPUT ${Q2MR_GENERATED}/${W_TYPELIB}
      COMMAND ${Q2MR_WIDL_PROGRAM} ${flags} -t -o ${Q2MR_GENERATED}/${W_TYPELIB} ${idl}
      DEPENDS ${idl} ${W_DEPENDS} VERBATIM)
    get_filename_component(tlb_stem ${W_TYPELIB} NAME_WE)
    add_custom_target(${tlb_stem}_typelib DEPENDS ${Q2MR_GENERATED}/${W_TYPELIB})
  endif()
  if(W_HEADER)
    add_custom_command(OUTPUT ${Q2MR_GENERATED}/${stem}.h ${Q2MR_GENERATED}/${stem}_i.c
      COMMAND ${Q2MR_WIDL_PROGRAM} ${flags} -h -o ${Q2MR_GENERATED}/${stem}.h ${idl}
      COMMAND ${Q2MR_WIDL_PROGRAM} ${flags} -u -o ${Q2MR_GENERATED}/${stem}_i.c ${idl}
      DEPENDS ${idl} ${W_DEPENDS} VERBATIM)
  endif()
endfunction()

# q2mr_windows_dll(TARGET NAME DESCRIPTION TYPELIB): the DLL's file name without the
# "lib" prefix, its exports from NAME.def beside its sources, and a resource script with
# the version (and OLESelfRegister) and the embedded type library as TYPELIB 1.
function(q2mr_windows_dll target name description typelib)
  set(Q2MR_RC_NAME ${name})
  set(Q2MR_RC_DESCRIPTION ${description})
  set(Q2MR_RC_TYPELIB ${Q2MR_GENERATED}/${typelib})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/library.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${name}.def ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
    OBJECT_DEPENDS ${Q2MR_GENERATED}/${typelib})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
endfunction()

# nlohmann-json is header-only: a folder that holds only its headers, never /usr/include.
set(Q2MR_JSON_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${Q2MR_JSON_INCLUDE})
file(CREATE_LINK /usr/include/nlohmann ${Q2MR_JSON_INCLUDE}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${Q2MR_JSON_INCLUDE})
