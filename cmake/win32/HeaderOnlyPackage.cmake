# SPDX-License-Identifier: MIT
# wirepace_header_only_package(Target folder): an imported interface target whose include
# folder holds only `folder` (a link to the system's copy), so adding it to a cross build
# brings in that library's headers and no other header of the build machine.
function(wirepace_header_only_package target folder)
  if(TARGET ${target})
    return()
  endif()
  get_filename_component(name ${folder} NAME)
  set(include_dir ${CMAKE_BINARY_DIR}/win32-include/${name})
  if(NOT EXISTS ${folder})
    message(FATAL_ERROR "${folder} is missing; install the library's Debian package")
  endif()
  file(MAKE_DIRECTORY ${include_dir})
  if(NOT EXISTS ${include_dir}/${name})
    file(CREATE_LINK ${folder} ${include_dir}/${name} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${include_dir})
endfunction()
