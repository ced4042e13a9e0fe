# SPDX-License-Identifier: MIT
# Windows only: the application manifest (common controls 6.0.0.0, run as the invoking user)
# goes into every controller program. Like the drone image it is a resource, which has to be
# linked into the program itself, so it travels to the programs that link wirepace_core as an
# interface source.
set(WIREPACE_MANIFEST_RC ${CMAKE_CURRENT_BINARY_DIR}/generated/controller_manifest.rc)
file(GENERATE OUTPUT ${WIREPACE_MANIFEST_RC}
     CONTENT "1 24 \"${CMAKE_CURRENT_LIST_DIR}/wirepace.manifest\"\n")
set_source_files_properties(${WIREPACE_MANIFEST_RC} PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/wirepace.manifest)
target_sources(wirepace_core INTERFACE ${WIREPACE_MANIFEST_RC})
