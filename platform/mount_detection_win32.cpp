// SPDX-License-Identifier: MIT
// Mount detection on Windows: a share path, or a drive the system calls remote.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

bool IsNetworkFolder(const std::string& dir) {
    if (IsSharePath(dir)) return true;
    if (dir.size() < 2 || dir[1] != ':') return false;
    const std::wstring root = win32::Widen(dir.substr(0, 2) + "\\");
    return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

}  // namespace wirepace::platform
