// SPDX-License-Identifier: MIT
// What the Windows files of the platform layer share: the safe ways to create, write and close
// a file. Internal to platform/; include after <windows.h>.
#pragma once

#include <cstddef>
#include <string>

namespace wirepace::platform::win32 {

// An empty path, or one with a NUL byte the system would cut it at.
bool IsBadPath(const std::string& path);
// Raises the mapped error of GetLastError() for `path`.
[[noreturn]] void RaiseLast(const std::string& path);
// A link (a reparse point) or a folder under a name this program writes: never written through.
[[noreturn]] void RefuseNonFile(const std::string& path);
bool IsLinkOrFolder(DWORD attributes);
bool IsDirectory(const std::string& path);
// Creates `path` fresh for writing: a plain file of that name is removed first, then the name
// is created anew without following a link, so no write ever lands elsewhere.
HANDLE CreateFresh(const std::string& path, DWORD access = GENERIC_WRITE);
// Writes everything in chunks WriteFile accepts; the handle stays open either way.
void WriteFully(HANDLE h, const void* data, std::size_t size, const std::string& path);
void CloseOrRaise(HANDLE h, const std::string& path);

// A file this process is creating: removed again unless Keep() is reached.
class FreshFile {
  public:
    explicit FreshFile(const std::string& path);
    ~FreshFile();
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;
    HANDLE Handle() const { return h_; }
    void Keep();

  private:
    std::string path_;
    HANDLE h_;
    bool kept_ = false;
};

}  // namespace wirepace::platform::win32
