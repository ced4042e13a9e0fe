# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with MinGW-w64 (POSIX thread model), e.g.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The window is the Win32 one (WIREPACE_WINDOW=win32), so no Qt is needed.
# Programs are linked statically, so none needs a DLL beside it; the test programs run under
# Wine through the cross-compiling emulator when wine64 is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WIREPACE_MINGW_TRIPLET x86_64-w64-mingw32)
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
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/win32 CACHE PATH "GoogleTest for the Windows build")
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/win32 CACHE PATH "CLI11 for the Windows build")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/win32 CACHE PATH "nlohmann-json for Windows")

if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
