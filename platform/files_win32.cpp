// SPDX-License-Identifier: MIT
// Files on Windows. Nothing is written through a link (a reparse point): names are created
// anew with FILE_FLAG_OPEN_REPARSE_POINT, and a write that fails midway removes its partial file.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"
#include "platform/files_win32.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

namespace win32 {

int ErrorNumberFor(unsigned long win32Error) {
    switch (win32Error) {
        case ERROR_FILE_NOT_FOUND:
            return kErrFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_REM_NOT_LIST:
            return kErrPathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_NETWORK_ACCESS_DENIED:
            return kErrPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return kErrDiskFull;
        default:
            return kErrPathFileAccess;
    }
}

bool IsBadPath(const std::string& path) {
    return path.empty() || path.find('\0') != std::string::npos;
}

[[noreturn]] void RaiseLast(const std::string& path) {
    RaiseFileError(static_cast<int>(::GetLastError()), path);
}

[[noreturn]] void RefuseNonFile(const std::string& path) {
    throw RuntimeError(kErrPathFileAccess, "Refusing to write through \"" + path +
                                               "\": it is a symbolic link or not a plain file")
        .WithPath(path);
}

bool IsLinkOrFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

HANDLE CreateFresh(const std::string& path, DWORD access) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const std::wstring wide = Widen(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const HANDLE h =
            ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
            RaiseFileError(static_cast<int>(err), path);
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;  // gone meanwhile
        if (IsLinkOrFolder(attributes)) RefuseNonFile(path);
        if (!::DeleteFileW(wide.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
            RaiseLast(path);
    }
    throw RuntimeError(kErrPathFileAccess).WithPath(path);
}

FreshFile::FreshFile(const std::string& path) : path_(path), h_(CreateFresh(path)) {}

FreshFile::~FreshFile() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    if (!kept_) ::DeleteFileW(Widen(path_).c_str());
}

void FreshFile::Keep() {
    const HANDLE h = std::exchange(h_, INVALID_HANDLE_VALUE);
    if (!::CloseHandle(h)) RaiseLast(path_);
    kept_ = true;
}

void WriteFully(HANDLE h, const void* data, std::size_t size, const std::string& path) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
        DWORD written = 0;
        if (!::WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
            const DWORD err = ::GetLastError();
            RaiseFileError(static_cast<int>(err ? err : ERROR_DISK_FULL), path);
        }
        p += written;
        size -= written;
    }
}

void CloseOrRaise(HANDLE h, const std::string& path) {
    if (!::CloseHandle(h)) RaiseLast(path);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace win32

using win32::CloseOrRaise;
using win32::CreateFresh;
using win32::FreshFile;
using win32::IsBadPath;
using win32::IsDirectory;
using win32::IsLinkOrFolder;
using win32::Narrow;
using win32::RaiseLast;
using win32::RefuseNonFile;
using win32::Widen;
using win32::WriteFully;

[[noreturn]] void RaiseFileError(int osError, const std::string& path) {
    throw RuntimeError(win32::ErrorNumberFor(static_cast<unsigned long>(osError))).WithPath(path);
}

FileWriter::FileWriter(const std::string& path)
    : path_(path), handle_(reinterpret_cast<std::intptr_t>(CreateFresh(path))) {}

FileWriter::~FileWriter() {
    if (handle_ == reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) return;
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    ::DeleteFileW(Widen(path_).c_str());
}

void FileWriter::Write(const void* data, std::size_t size) {
    if (handle_ == reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE))
        throw RuntimeError(kErrPathFileAccess).WithPath(path_);
    WriteFully(reinterpret_cast<HANDLE>(handle_), data, size, path_);
}

void FileWriter::Close() {
    if (handle_ == reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) return;
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    if (!::CloseHandle(h)) {
        const DWORD err = ::GetLastError();
        ::DeleteFileW(Widen(path_).c_str());
        RaiseFileError(static_cast<int>(err), path_);
    }
}

void RemoveFile(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    if (IsDirectory(path)) throw RuntimeError(kErrPathFileAccess).WithPath(path);
    if (!::DeleteFileW(Widen(path).c_str())) RaiseLast(path);
}

void RenameFile(const std::string& from, const std::string& to) {
    if (IsBadPath(from) || IsBadPath(to))
        throw RuntimeError(kErrFileNotFound).WithPath(IsBadPath(from) ? from : to);
    // MoveFileW never replaces an existing target: nothing is silently overwritten.
    if (!::MoveFileW(Widen(from).c_str(), Widen(to).c_str())) RaiseLast(to);
}

std::int64_t FileLength(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) RaiseLast(path);
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) |
           static_cast<std::int64_t>(data.nFileSizeLow);
}

void CreateEmptyFile(const std::string& path) {
    FreshFile file(path);
    file.Keep();
}

namespace {

// A text file this program starts is UTF-8 behind a byte-order mark, so it stores every
// character; one without the mark (an older program's log) keeps the ANSI code page, for one
// file never mixes the two.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

enum class TextEncoding { NewFile, Utf8, Ansi };

// Reads the start of the open file `h` and leaves its pointer where it was.
TextEncoding EncodingOf(HANDLE h, const std::string& path) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) RaiseLast(path);
    if (size.QuadPart == 0) return TextEncoding::NewFile;
    LARGE_INTEGER was{};
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &was, FILE_CURRENT) ||
        !::SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        RaiseLast(path);
    char start[3] = {};
    DWORD got = 0;
    const BOOL read = ::ReadFile(h, start, sizeof start, &got, nullptr);
    const DWORD err = ::GetLastError();
    ::SetFilePointerEx(h, was, nullptr, FILE_BEGIN);
    if (!read) RaiseFileError(static_cast<int>(err), path);
    return std::string_view(start, got) == kUtf8Mark ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

std::string NotStoredText(const std::string& character, const std::string& path) {
    const std::wstring wide = Widen(character);
    std::uint32_t code = wide.empty() ? 0 : wide[0];
    if (wide.size() == 2) code = 0x10000 + ((wide[0] - 0xD800u) << 10) + (wide[1] - 0xDC00u);
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
    return "The character \"" + character + "\" (" + number + ") cannot be stored in " + path +
           ", which is written in the ANSI code page " + std::to_string(::GetACP()) +
           ": rename or move that file to start a new one, which stores every character";
}

}  // namespace

std::optional<std::string> UnstorableCharacter(const std::string& path, const std::string& text) {
    if (IsBadPath(path)) return std::nullopt;
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file that cannot be opened is said by the write, with its own reason.
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> missing;
    try {
        if (EncodingOf(h, path) == TextEncoding::Ansi) {
            if (auto c = win32::FirstCharacterNotIn(text, CP_ACP))
                missing = NotStoredText(*c, path);
        }
    } catch (const RuntimeError&) {
    }
    ::CloseHandle(h);
    return missing;
}

void AppendLine(const std::string& path, const std::string& line) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const std::wstring wide = Widen(path);
    if (IsLinkOrFolder(::GetFileAttributesW(wide.c_str()))) RefuseNonFile(path);
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    // A device name ("CON", "NUL") opens something other than a file on the disk.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        RefuseNonFile(path);
    }
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &end, FILE_END)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(h);
        RaiseFileError(static_cast<int>(err), path);
    }
    std::string text;
    try {
        switch (EncodingOf(h, path)) {
            case TextEncoding::NewFile:
                text = std::string(kUtf8Mark) + line + "\r\n";
                break;
            case TextEncoding::Utf8:
                text = line + "\r\n";
                break;
            case TextEncoding::Ansi:
                // Never a default character in place of one the code page lacks.
                if (auto c = win32::FirstCharacterNotIn(line, CP_ACP))
                    throw RuntimeError(kErrPathFileAccess, NotStoredText(*c, path)).WithPath(path);
                text = win32::Utf8ToCodePage(line, CP_ACP) + "\r\n";
                break;
        }
    } catch (...) {
        ::CloseHandle(h);
        throw;
    }
    try {
        WriteFully(h, text.data(), text.size(), path);
    } catch (...) {
        // A torn line would glue itself to the next one: cut the file back to where it was.
        ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(h);
        ::CloseHandle(h);
        throw;
    }
    CloseOrRaise(h, path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    FreshFile file(path);
    const std::string ansi = win32::Utf8ToCodePage(text, CP_ACP);
    WriteFully(file.Handle(), ansi.data(), ansi.size(), path);
    file.Keep();
}

bool CreateExclusiveFile(const std::string& path, const std::string& text) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const std::wstring wide = Widen(path);
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) return false;
        RaiseFileError(static_cast<int>(err), path);
    }
    try {
        WriteFully(h, text.data(), text.size(), path);
        ::FlushFileBuffers(h);
    } catch (...) {
        ::CloseHandle(h);
        ::DeleteFileW(wide.c_str());
        throw;
    }
    CloseOrRaise(h, path);
    return true;
}

void ReplaceFileWhole(const std::string& path, const std::string& bytes) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && IsLinkOrFolder(attributes)) RefuseNonFile(path);
    // A name without the final one's ending, so a collector that reads "*.prom" skips it.
    const std::string temp = path + ".tmp-" + std::to_string(::GetCurrentProcessId());
    {
        FreshFile file(temp);
        WriteFully(file.Handle(), bytes.data(), bytes.size(), temp);
        if (!::FlushFileBuffers(file.Handle())) RaiseLast(temp);
        file.Keep();
    }
    const std::wstring wideTemp = Widen(temp);
    // A collector reading the old file at this moment holds it open without sharing its
    // deletion; it lets go within moments.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(wideTemp.c_str(), wide.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return;
        const DWORD err = ::GetLastError();
        if ((err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) && attempt < 50) {
            ::Sleep(100);
            continue;
        }
        ::DeleteFileW(wideTemp.c_str());
        RaiseFileError(static_cast<int>(err), path);
    }
}

std::string ReadPrivateFirstLine(const std::string& path) {
    // Who may read a file is an access list here; rather than half-check it, no secret is
    // taken from a file.
    throw RuntimeError(kErrPermissionDenied,
                       "a password is not read from a file on Windows (\"" + path +
                           "\"): run as the account that opens the share, or pass the "
                           "password on standard input")
        .WithPath(path);
}

std::string ReadFirstLine(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    std::string text;
    char buffer[256];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            const DWORD err = ::GetLastError();
            ::CloseHandle(h);
            RaiseFileError(static_cast<int>(err), path);
        }
        if (n == 0) break;
        text.append(buffer, n);
        if (text.find_first_of("\r\n") != std::string::npos) break;
    }
    ::CloseHandle(h);
    const auto end = text.find_first_of("\r\n");
    return win32::CodePageToUtf8(end == std::string::npos ? text : text.substr(0, end), CP_ACP);
}

std::string ReadTextFile(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    std::string text;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            const DWORD err = ::GetLastError();
            ::CloseHandle(h);
            RaiseFileError(static_cast<int>(err), path);
        }
        if (n == 0) break;
        text.append(buffer, n);
    }
    ::CloseHandle(h);
    if (text.starts_with(kUtf8Mark)) return text.substr(kUtf8Mark.size());
    return win32::CodePageToUtf8(text, CP_ACP);
}

void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size) {
    FreshFile file(path);
    WriteFully(file.Handle(), bytes, size, path);
    file.Keep();
}

namespace {
std::int64_t FileTimeTicks(const FILETIME& t) {
    return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) |
           static_cast<std::int64_t>(t.dwLowDateTime);
}
}  // namespace

void FlushFile(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const HANDLE h =
        ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    const BOOL ok = ::FlushFileBuffers(h);
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) RaiseFileError(static_cast<int>(err), path);
}

void TouchFile(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &now);
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) RaiseFileError(static_cast<int>(err), path);
}

double FileAgeSeconds(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound).WithPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) RaiseLast(path);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<double>(FileTimeTicks(now) - FileTimeTicks(data.ftLastWriteTime)) / 1e7;
}

EntryKind KindOf(const std::string& path) {
    if (IsBadPath(path)) return EntryKind::Missing;
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Other;
    return EntryKind::File;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    if (IsBadPath(dir)) throw RuntimeError(kErrPathNotFound).WithPath(dir);
    std::string pattern = dir;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW(Widen(pattern + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) return {};
        RaiseFileError(static_cast<int>(err == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : err),
                       dir);
    }
    std::vector<std::string> names;
    do {
        const std::string name = Narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

}  // namespace wirepace::platform

namespace wirepace::platform {

namespace {

struct FolderIdentity {
    std::uint64_t volume = 0;
    std::uint64_t id = 0;
};

bool IdentityOf(HANDLE h, FolderIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

FolderHandle::FolderHandle(const std::string& dir) : path_(dir) {
    if (IsBadPath(dir)) throw RuntimeError(kErrPathNotFound).WithPath(dir);
    if (path_.back() != '\\' && path_.back() != '/') path_ += '\\';
    // No delete sharing: while the run holds the folder, nobody renames, removes or replaces it.
    const HANDLE h = ::CreateFileW(Widen(dir).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            throw RuntimeError(kErrPathNotFound).WithPath(path_);
        RaiseFileError(static_cast<int>(err), path_);
    }
    FolderIdentity identity;
    if (!IdentityOf(h, identity)) {
        ::CloseHandle(h);
        throw RuntimeError(kErrPathNotFound).WithPath(path_);
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    volume_ = identity.volume;
    id_ = identity.id;
}

FolderHandle::~FolderHandle() {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FolderHandle::StillAtItsPath() const {
    const HANDLE h = ::CreateFileW(Widen(path_).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FolderIdentity identity;
    const bool same = IdentityOf(h, identity) && identity.volume == volume_ && identity.id == id_;
    ::CloseHandle(h);
    return same;
}

void FolderHandle::CheckStillAtItsPath() const {
    if (StillAtItsPath()) return;
    throw RuntimeError(kErrPathFileAccess,
                       "The folder " + path_ +
                           " is no longer the one this run opened: it was moved, removed or "
                           "replaced during the run; nothing more is written or removed there")
        .WithPath(path_);
}

std::vector<std::string> FolderHandle::Entries() const {
    CheckStillAtItsPath();
    return FolderEntries(path_);
}

EntryKind FolderHandle::KindOf(const std::string& name) const {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return EntryKind::Missing;
    return platform::KindOf(path_ + name);
}

void FolderHandle::Remove(const std::string& name) const {
    const std::string path = path_ + name;
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
        throw RuntimeError(kErrFileNotFound).WithPath(path);
    CheckStillAtItsPath();
    RemoveFile(path);
}

}  // namespace wirepace::platform
