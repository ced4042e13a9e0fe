# SPDX-License-Identifier: MIT
# Cross build for 32-bit Windows with MinGW-w64 (POSIX thread model), e.g.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
# The window is the Win32 one (WIREPACE_WINDOW=win32), so no Qt is needed.
# Programs are linked statically, so none needs a DLL beside it; the test programs run under
# Wine through the cross-compiling emulator when the 32-bit Wine loader (wine32) is installed.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(WIREPACE_MINGW_TRIPLET i686-w64-mingw32)
set(WIREPACE_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/win32/MingwToolchain.cmake)
