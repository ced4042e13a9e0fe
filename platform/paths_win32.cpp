// SPDX-License-Identifier: MIT
// Paths and folders on Windows: the program's own file, the work root (the root of its drive,
// or a per-user folder when that root cannot be written), the log beside the program, and how
// a path is written.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

namespace win32 {

bool IsShareFolder(const std::string& folder) {
    return folder.size() >= 2 && (folder[0] == '\\' || folder[0] == '/') &&
           (folder[1] == '\\' || folder[1] == '/');
}

std::string ControllerWorkRoot(const std::string& programFolder,
                               const std::function<bool(const std::string&)>& writable,
                               const std::string& localAppData) {
    const std::string root = programFolder.substr(0, 3);
    if (localAppData.empty() || writable(root)) return root;
    std::string perUser = localAppData;
    if (perUser.back() != '\\' && perUser.back() != '/') perUser += '\\';
    return perUser + "Wirepace\\";
}

std::string DroneWorkRoot(const std::string& programFolder) {
    // The controller writes its drones into its work root, so their own folder is that root;
    // in a drive root it is the first three characters, as before.
    return programFolder;
}

std::string WithoutLongPathPrefix(const std::string& path) {
    for (const char* prefix : {"\\\\?\\", "\\??\\"}) {
        if (path.rfind(prefix, 0) == 0) {
            const std::string rest = path.substr(4);
            return rest.rfind("UNC\\", 0) == 0 ? "\\\\" + rest.substr(4) : rest;
        }
    }
    // Wine names a program started from a share "UNC\server\share\..."; a module path is
    // always absolute, so this can only be that share.
    if (path.rfind("UNC\\", 0) == 0) return "\\\\" + path.substr(4);
    return path;
}

}  // namespace win32

using win32::Narrow;
using win32::Widen;

std::string ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return win32::WithoutLongPathPrefix(Narrow({buffer.data(), n}));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// ---- work roots (a standard user cannot write the root of the system drive) ------------------

namespace {

// True when a file can be created in `folder`: a probe that the system deletes on close, so
// nothing is left behind.
bool FolderWritable(const std::string& folder) {
    const std::wstring probe =
        Widen(folder + "Wirepace-" + std::to_string(::GetCurrentProcessId()) + ".probe");
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS;
    ::CloseHandle(h);
    return true;
}

}  // namespace

std::string ControllerAppDrive() {
    const std::string folder = ProgramFolder();
    // Work files go into the root of the program's drive; a share path has no such root.
    if (win32::IsShareFolder(folder))
        throw RuntimeError(kErrPathNotFound, "Wirepace cannot run from a share path (" + folder +
                                                 "). Copy it to a local drive and start it there.");
    const std::string root =
        win32::ControllerWorkRoot(folder, FolderWritable, GetEnv("LOCALAPPDATA").value_or(""));
    if (root.size() > 3) {
        // The per-user folder: made on first use (its parent exists for every user).
        const std::string bare = root.substr(0, root.size() - 1);
        if (!::CreateDirectoryW(Widen(bare).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            RaiseFileError(static_cast<int>(::GetLastError()), bare);
    }
    return root;
}

std::string DroneAppDrive() {
    return win32::DroneWorkRoot(ProgramFolder());
}

// ---- end of work roots -----------------------------------------------------------------------

std::string LogFolder() {
    return ProgramFolder();
}

std::string UserSettingsLocation() {
    return "Software\\Wirepace";
}

bool ProgramRunsFromShare() {
    return win32::IsShareFolder(ProgramFolder());
}

std::optional<std::string> GetEnv(const std::string& name) {
    const std::wstring wide = Widen(name);
    ::SetLastError(ERROR_SUCCESS);
    DWORD n = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (n == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(n, L'\0');
    n = ::GetEnvironmentVariableW(wide.c_str(), value.data(), n);
    value.resize(n);
    return Narrow(value);
}

bool IsSharePath(const std::string& dir) {
    // Only a path that begins with two separators names a share. Any other path without a
    // drive (a relative one) is not mapped either: the sequence refuses it as not a full path,
    // instead of handing it to the mapping command and then writing relative to the working
    // folder.
    return win32::IsShareFolder(dir);
}

char Separator() {
    return '\\';
}

std::string NormaliseSeparators(const std::string& path) {
    std::string out = path;
    for (auto& c : out)
        if (c == '/') c = '\\';
    return out;
}

}  // namespace wirepace::platform
