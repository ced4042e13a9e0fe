// SPDX-License-Identifier: MIT
// <windows.h> without the CopyFile and DeleteFile macros, which would otherwise rename the
// platform layer's functions of the same names in every file that includes both.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef CopyFile
#undef DeleteFile
