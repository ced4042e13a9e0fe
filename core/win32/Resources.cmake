# SPDX-License-Identifier: MIT
# Windows only: the resources of every controller program, the drone image (script written by
# DroneImage.cmake) and the application manifest (common controls 6.0.0.0, run as the invoking
# user). A resource has to be linked into the program itself, and an object in a static library
# that no code refers to is never linked, so the scripts are compiled once here and their
# objects handed to every program that links wirepace_core.
set(WIREPACE_MANIFEST_RC ${CMAKE_CURRENT_BINARY_DIR}/generated/controller_manifest.rc)
file(GENERATE OUTPUT ${WIREPACE_MANIFEST_RC}
     CONTENT "1 24 \"${CMAKE_CURRENT_LIST_DIR}/wirepace.manifest\"\n")

add_library(wirepace_win32_resources OBJECT ${WIREPACE_DRONE_RC} ${WIREPACE_MANIFEST_RC})
# The compiler of resource scripts reports no dependency on the files a script embeds: name
# them, so a relinked drone or an edited manifest rebuilds the resources.
set_source_files_properties(${WIREPACE_DRONE_RC} PROPERTIES OBJECT_DEPENDS
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ferrylet${CMAKE_EXECUTABLE_SUFFIX})
set_source_files_properties(${WIREPACE_MANIFEST_RC} PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/wirepace.manifest)
add_dependencies(wirepace_win32_resources ferrylet)
target_sources(wirepace_core INTERFACE $<TARGET_OBJECTS:wirepace_win32_resources>)
