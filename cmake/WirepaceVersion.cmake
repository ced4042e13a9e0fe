# SPDX-License-Identifier: MIT
# The one place the programs take their version from: project(VERSION) in the top-level
# CMakeLists.txt, written into a generated header. Link `wirepace_version` to include it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/wirepace_version.h.in
               ${PROJECT_BINARY_DIR}/generated/wirepace_version.h @ONLY)
add_library(wirepace_version INTERFACE)
target_include_directories(wirepace_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
