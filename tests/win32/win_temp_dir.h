// SPDX-License-Identifier: MIT
// Windows test helpers: a temporary folder removed with everything in it, and whole-file
// reading and writing by UTF-8 path.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/file_exists.h"

namespace wirepace::testing {

class WinTempDir {
  public:
    explicit WinTempDir(const std::string& suffix = "") {
        static std::atomic<int> counter{0};
        wchar_t base[MAX_PATH + 1] = {};
        if (::GetTempPathW(MAX_PATH, base) == 0) throw std::runtime_error("no temp folder");
        path_ = std::filesystem::path(base) /
                (L"wirepace-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter) + PathFromUtf8(suffix).wstring());
        std::filesystem::create_directories(path_);
    }
    ~WinTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    WinTempDir(const WinTempDir&) = delete;
    WinTempDir& operator=(const WinTempDir&) = delete;

    // The folder as UTF-8 with a trailing backslash, the form the programs expect.
    std::string Slash() const {
        const auto u8 = path_.u8string();
        return std::string(u8.begin(), u8.end()) + "\\";
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& utf8Path) {
    std::ifstream in(PathFromUtf8(utf8Path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& utf8Path, const std::string& content) {
    std::ofstream(PathFromUtf8(utf8Path), std::ios::binary) << content;
}

// The names in a folder (a drive root, too, which the standard library's directory iterator
// of MinGW cannot open).
inline std::vector<std::wstring> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::wstring> names;
    std::wstring pattern = folder.wstring();
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((pattern + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

// The root of a drive of its own, as a drive root is where the controller and its drones keep
// their work files (a drone finds them in the first three characters of its own path).
// WIREPACE_TEST_DRIVE names a prepared, empty drive ("T:"; Wine maps a letter to a folder
// only through its dosdevices links). Otherwise a temporary folder gets a free letter, as
// "subst" does. Whatever the drive holds at the end is removed.
class TempDrive {
  public:
    TempDrive() {
        wchar_t given[8] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"WIREPACE_TEST_DRIVE", given, 8);
        if (n == 2 && given[1] == L':') {
            name_ = given;
            root_ = name_ + L"\\";
            if (!FolderEntries(root_).empty())
                throw std::runtime_error("the drive WIREPACE_TEST_DRIVE names is not empty");
            return;
        }
        folder_ = std::make_unique<WinTempDir>();
        const DWORD inUse = ::GetLogicalDrives();
        for (wchar_t letter = L'Y'; letter >= L'D'; --letter) {
            if (inUse & (1u << (letter - L'A'))) continue;
            const std::wstring name = std::wstring(1, letter) + L":";
            if (!::DefineDosDeviceW(0, name.c_str(), folder_->Path().c_str())) continue;
            name_ = name;
            root_ = name_ + L"\\";
            defined_ = true;
            break;
        }
        if (name_.empty()) throw std::runtime_error("no drive letter for a temporary drive");
        // Wine accepts the definition but does not resolve files through it.
        if (::GetFileAttributesW(root_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, name_.c_str(),
                               folder_->Path().c_str());
            throw std::runtime_error(
                "the temporary drive cannot be reached; under Wine set WIREPACE_TEST_DRIVE to a "
                "letter linked to an empty folder in $WINEPREFIX/dosdevices");
        }
    }
    ~TempDrive() {
        std::error_code ec;
        for (const auto& name : FolderEntries(root_))
            std::filesystem::remove_all(std::filesystem::path(root_) / name, ec);
        if (defined_)
            ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, name_.c_str(),
                               folder_->Path().c_str());
    }
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;

    // The drive root, such as "W:\\".
    std::string Root() const { return std::string(1, static_cast<char>(name_[0])) + ":\\"; }
    std::filesystem::path Folder() const { return root_; }

  private:
    std::unique_ptr<WinTempDir> folder_;
    std::wstring name_, root_;
    bool defined_ = false;
};

// Waits up to `ms` for a report of the echo helper to be complete (its last line is "end") and
// returns it, or "" when none came.
inline std::string WaitForReport(const std::string& utf8Path, int ms) {
    for (int waited = 0;; waited += 10) {
        std::string text = ReadBytes(utf8Path);
        if (text.size() >= 4 && text.compare(text.size() - 4, 4, "end\n") == 0) return text;
        if (waited >= ms) return "";
        ::Sleep(10);
    }
}

}  // namespace wirepace::testing
