# SPDX-License-Identifier: MIT
# CLI11 for the Windows cross build (header only).
include(${CMAKE_CURRENT_LIST_DIR}/HeaderOnlyPackage.cmake)
wirepace_header_only_package(CLI11::CLI11 /usr/include/CLI)
set(CLI11_FOUND TRUE)
