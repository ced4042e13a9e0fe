# SPDX-License-Identifier: MIT
# What both Windows toolchain files share; each sets WIREPACE_MINGW_TRIPLET, the processor and
# WIREPACE_WINE (the Wine that runs its programs) before including this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${WIREPACE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WIREPACE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WIREPACE_MINGW_TRIPLET}-windres)

# Libraries and headers only from the MinGW tree: the build machine's own must never leak in.
set(CMAKE_FIND_ROOT_PATH /usr/${WIREPACE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into every program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Release programs without symbols: the drone image the controller carries stays small.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# GoogleTest is built from its sources with this compiler; CLI11 and nlohmann-json are header
# only and taken from their own folders, never through the build machine's /usr/include.
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE PATH "GoogleTest for the Windows build")
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE PATH "CLI11 for the Windows build")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE PATH "nlohmann-json for Windows")

if(EXISTS ${WIREPACE_WINE})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WIREPACE_WINE})
endif()
