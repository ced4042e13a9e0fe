# SPDX-License-Identifier: MIT
# nlohmann-json for the Windows cross build (header only).
include(${CMAKE_CURRENT_LIST_DIR}/HeaderOnlyPackage.cmake)
wirepace_header_only_package(nlohmann_json::nlohmann_json /usr/include/nlohmann)
set(nlohmann_json_FOUND TRUE)
