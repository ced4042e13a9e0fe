// SPDX-License-Identifier: MIT
// Mount detection on Windows: a share path, or a drive the system calls remote; and how much
// room a volume has left.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <optional>
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

std::string FileSystemType(const std::string& dir) {
    std::string root;
    if (IsSharePath(dir)) {
        // \\server\share\ : the volume a share path lies on is the share itself.
        const std::string path = NormaliseSeparators(dir);
        const auto serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) return {};
        const auto shareEnd = path.find('\\', serverEnd + 1);
        root = (shareEnd == std::string::npos ? path : path.substr(0, shareEnd)) + "\\";
    } else if (dir.size() >= 2 && dir[1] == ':') {
        root = dir.substr(0, 2) + "\\";
    } else {
        return {};
    }
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(win32::Widen(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                 name, MAX_PATH + 1))
        return {};
    return win32::Narrow(name);
}

std::optional<DiskSpace> DiskSpaceOf(const std::string& dir) {
    if (dir.empty()) return std::nullopt;
    const std::wstring wide = win32::Widen(NormaliseSeparators(dir));
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &totalFree)) return std::nullopt;
    // A volume that reports no size at all does not know it: its "0 free" says nothing.
    if (total.QuadPart == 0) return std::nullopt;
    DiskSpace space;
    space.freeBytes = available.QuadPart > static_cast<ULONGLONG>(INT64_MAX)
                          ? INT64_MAX
                          : static_cast<std::int64_t>(available.QuadPart);
    wchar_t root[MAX_PATH + 1] = {};
    if (::GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1)) {
        space.volume = win32::Narrow(root);
    } else {
        space.volume = NormaliseSeparators(dir);
    }
    for (char& c : space.volume) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return space;
}

}  // namespace wirepace::platform
