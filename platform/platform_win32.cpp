// SPDX-License-Identifier: MIT
// Windows implementation of the platform layer. Every path and text crosses the Win32 API as
// UTF-16; text files are written in the ANSI code page.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"
#include "platform/platform_emergency.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

// ---- the pure pieces -------------------------------------------------------------------------

namespace win32 {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) throw RuntimeError(kErrPathNotFound, "Text is not valid UTF-8: " + utf8);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

namespace {
std::string FromWide(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring ToWide(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}
}  // namespace

std::string Narrow(const std::wstring& utf16) {
    return FromWide(utf16, CP_UTF8);
}

std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage) {
    return FromWide(Widen(utf8), codePage);
}

std::string CodePageToUtf8(const std::string& text, unsigned codePage) {
    return Narrow(ToWide(text, codePage));
}

std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Each backslash before a quote is doubled, then the quote itself escaped.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    // Backslashes before the closing quote are doubled so it stays a closing quote.
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string QuoteProgramPath(const std::string& path) {
    if (path.find_first_of(" \t") == std::string::npos) return path;
    return "\"" + path + "\"";
}

std::wstring CommandLineTail(const std::wstring& commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const auto close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        const auto blank = commandLine.find_first_of(L" \t");
        i = blank == std::wstring::npos ? commandLine.size() : blank;
    }
    const auto first = commandLine.find_first_not_of(L" \t", i);
    return first == std::wstring::npos ? std::wstring() : commandLine.substr(first);
}

namespace {

// Letters and signs that mean something in our patterns; a literal of the picture that is one
// of them cannot be written as it stands and is left out.
bool IsPatternSign(char c) {
    switch (c) {
        case 'y':
        case 'Y':
        case 'd':
        case 'D':
        case 'h':
        case 'H':
        case 'n':
        case 'N':
        case 's':
        case 'S':
        case 'm':
        case 'M':
        case ':':
        case '/':
            return true;
        default:
            return false;
    }
}

// Walks a picture: `field` gets each run of one letter (outside quotes) and returns its
// pattern text; the locale separator becomes `separatorSign`; other literals stay unless
// they are pattern signs.
std::string Translate(const std::string& picture, const std::string& separator, char separatorSign,
                      const std::function<std::string(char letter, std::size_t run)>& field) {
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            // A quoted literal ('' inside stands for one quote). It is kept only when it can
            // be written as it stands: "'Uhr'" would otherwise turn into an hour field.
            std::string literal;
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        literal += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += picture[i++];
            }
            if (std::none_of(literal.begin(), literal.end(), IsPatternSign)) out += literal;
            continue;
        }
        if (!separator.empty() && picture.compare(i, separator.size(), separator) == 0) {
            out += separatorSign;
            i += separator.size();
            continue;
        }
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            std::size_t run = 1;
            while (i + run < picture.size() && picture[i + run] == c) ++run;
            out += field(c, run);
            i += run;
            continue;
        }
        if (!IsPatternSign(c)) out += c;
        ++i;
    }
    // What was left out may leave blanks or separators hanging at either end.
    const auto first = out.find_first_not_of(" ,");
    if (first == std::string::npos) return {};
    const auto last = out.find_last_not_of(" ,");
    return out.substr(first, last - first + 1);
}

}  // namespace

std::string DatePatternFromPicture(const std::string& picture, const std::string& separator) {
    const std::string out =
        Translate(picture, separator, '/', [](char letter, std::size_t run) -> std::string {
            switch (letter) {
                case 'd':
                    return run == 1 ? "d" : run == 2 ? "dd" : "";  // day names: left out
                case 'M':
                    return run == 1 ? "m" : "mm";  // month names read as numbers
                case 'y':
                    return run <= 2 ? "yy" : "yyyy";
                default:
                    return "";  // era and anything unknown
            }
        });
    // A picture without day, month or year is of no use for a date.
    return out.find_first_of("dmy") == std::string::npos ? std::string() : out;
}

std::string TimePatternFromPicture(const std::string& picture, const std::string& separator) {
    const std::string out =
        Translate(picture, separator, ':', [](char letter, std::size_t run) -> std::string {
            switch (letter) {
                case 'h':
                case 'H':
                    return run == 1 ? "h" : "hh";
                case 'm':
                    return run == 1 ? "n" : "nn";
                case 's':
                    return run == 1 ? "s" : "ss";
                default:
                    return "";  // AM/PM marker and anything unknown
            }
        });
    return out.find_first_of("hns") == std::string::npos ? std::string() : out;
}

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

bool IsThemed(const ThemeQueries& queries) {
    unsigned long major = 0, minor = 0;
    if (!queries.osVersion || !queries.osVersion(major, minor)) major = minor = 0;
    const double version = static_cast<double>(major) + static_cast<double>(minor) / 10.0;
    if (version < 5.1) return false;
    if (!queries.isAppThemed || !queries.isAppThemed()) return false;
    return queries.commonControlsMajor && queries.commonControlsMajor() >= 6;
}

}  // namespace win32

using win32::Narrow;
using win32::Widen;

namespace {

// A function of a system library looked up at run time, so nothing extra has to be linked and
// a library missing on an old system simply means "not available".
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through the generic function pointer type: the cast between two function types is what
    // GetProcAddress is for.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The records as the system lays them out.
struct VersionInfoA {
    DWORD size, major, minor, build, platform;
    char servicePack[128];
};
static_assert(sizeof(VersionInfoA) == 148);
struct DllVersionInfo {
    DWORD size, major, minor, build, platform;
};
static_assert(sizeof(DllVersionInfo) == 20);
struct CommonControlsInit {
    DWORD size, classes;
};
static_assert(sizeof(CommonControlsInit) == 8);

constexpr DWORD kAllControlClasses = 0x1FFF;  // ICC_LISTVIEW_CLASSES .. ICC_PAGESCROLLER_CLASS

HMODULE CommonControls() {
    // Stays loaded: the control classes it registers must outlive this call.
    static HMODULE module = ::LoadLibraryW(L"comctl32.dll");
    return module;
}

bool SystemIsThemed() {
    win32::ThemeQueries queries;
    queries.osVersion = [](unsigned long& major, unsigned long& minor) {
        using GetVersionExAFn = BOOL(WINAPI*)(VersionInfoA*);
        const auto getVersion =
            LookUp<GetVersionExAFn>(::GetModuleHandleW(L"kernel32.dll"), "GetVersionExA");
        VersionInfoA info{};
        info.size = sizeof info;
        if (!getVersion || !getVersion(&info)) return false;
        major = info.major;
        minor = info.minor;
        return true;
    };
    queries.isAppThemed = [] {
        using IsAppThemedFn = BOOL(WINAPI*)();
        HMODULE theme = ::LoadLibraryW(L"uxtheme.dll");
        const auto isAppThemed = LookUp<IsAppThemedFn>(theme, "IsAppThemed");
        const bool themed = isAppThemed && isAppThemed() != 0;
        if (theme) ::FreeLibrary(theme);
        return themed;
    };
    queries.commonControlsMajor = []() -> unsigned long {
        using DllGetVersionFn = HRESULT(CALLBACK*)(DllVersionInfo*);
        const auto getVersion = LookUp<DllGetVersionFn>(CommonControls(), "DllGetVersion");
        DllVersionInfo info{};
        info.size = sizeof info;
        if (!getVersion || FAILED(getVersion(&info))) return 0;
        return info.major;
    };
    return win32::IsThemed(queries);
}

std::string GetLocaleText(LCTYPE type) {
    wchar_t buffer[128] = {};
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer,
                                    static_cast<int>(sizeof buffer / sizeof buffer[0]));
    if (n <= 1) return {};
    return Narrow(std::wstring(buffer, static_cast<std::size_t>(n - 1)));
}

class MutexLock : public InstanceLock {
  public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
    ~MutexLock() override { ::CloseHandle(mutex_); }

  private:
    HANDLE mutex_;
};

class Win32Process : public Process {
  public:
    Win32Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
    ~Win32Process() override { ::CloseHandle(process_); }
    bool HasEnded() override { return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
    bool WaitForEnd(int ms) override {
        return ::WaitForSingleObject(process_, ms < 0 ? 0 : static_cast<DWORD>(ms)) ==
               WAIT_OBJECT_0;
    }
    void Terminate() override {
        if (!HasEnded()) ::TerminateProcess(process_, 1);
    }
    int Id() const override { return static_cast<int>(id_); }

  private:
    HANDLE process_;
    DWORD id_;
};

// The job every drone belongs to: when this process ends, however it ends, the system closes
// the job's handle and ends the drones with it.
HANDLE DroneJob() {
    static const HANDLE job = [] {
        const HANDLE h = ::CreateJobObjectW(nullptr, nullptr);
        if (!h) return HANDLE{nullptr};
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
            ::CloseHandle(h);
            return HANDLE{nullptr};
        }
        return h;
    }();
    return job;
}

std::unique_ptr<Process> Launch(const std::string& program, const std::string& commandLine,
                                WindowStyle style, bool inDroneJob) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style == WindowStyle::Hidden ? SW_HIDE : SW_SHOWNORMAL);
    // A hidden console program gets no console of its own and does not write into the
    // controller's.
    DWORD flags = style == WindowStyle::Hidden ? CREATE_NO_WINDOW : 0;
    // Suspended until it belongs to the job, so it cannot run a moment outside it.
    if (inDroneJob) flags |= CREATE_SUSPENDED;
    const std::wstring application = Widen(program);
    std::wstring line = Widen(commandLine);  // CreateProcessW may write into it
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          nullptr, &startup, &info))
        RaiseFileError(static_cast<int>(::GetLastError()), program);
    if (inDroneJob) {
        if (const HANDLE job = DroneJob()) ::AssignProcessToJobObject(job, info.hProcess);
        ::ResumeThread(info.hThread);
    }
    ::CloseHandle(info.hThread);
    return std::make_unique<Win32Process>(info.hProcess, info.dwProcessId);
}

bool IsBadPath(const std::string& path) {
    return path.empty() || path.find('\0') != std::string::npos;
}

[[noreturn]] void RaiseLast(const std::string& path) {
    RaiseFileError(static_cast<int>(::GetLastError()), path);
}

// A link (a reparse point) or a folder under a name this program writes: never written through.
[[noreturn]] void RefuseNonFile(const std::string& path) {
    throw RuntimeError(kErrPathFileAccess, "Refusing to write through \"" + path +
                                               "\": it is a symbolic link or not a plain file")
        .WithPath(path);
}

bool IsLinkOrFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

// Creates `path` fresh for writing: a plain file of that name is removed first, then the name
// is created anew without following a link, so no write ever lands elsewhere.
HANDLE CreateFresh(const std::string& path, DWORD access = GENERIC_WRITE) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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

// A file this process is creating: removed again unless Keep() is reached.
class FreshFile {
  public:
    explicit FreshFile(const std::string& path) : path_(path), h_(CreateFresh(path)) {}
    ~FreshFile() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
        if (!kept_) ::DeleteFileW(Widen(path_).c_str());
    }
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;
    HANDLE Handle() const { return h_; }
    void Keep() {
        const HANDLE h = std::exchange(h_, INVALID_HANDLE_VALUE);
        if (!::CloseHandle(h)) RaiseLast(path_);
        kept_ = true;
    }

  private:
    std::string path_;
    HANDLE h_;
    bool kept_ = false;
};

// Writes everything in chunks WriteFile accepts; the handle stays open either way.
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

}  // namespace

// ---- locations -------------------------------------------------------------------------------

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

// ---- the system's conventions ----------------------------------------------------------------

void LoadRegionalSettings() {
    RegionalSettings settings;
    if (auto s = GetLocaleText(LOCALE_SDECIMAL); !s.empty()) settings.decimalSeparator = s;
    if (auto s = GetLocaleText(LOCALE_STHOUSAND); !s.empty()) settings.groupingSeparator = s;
    if (auto s = GetLocaleText(LOCALE_STIME); !s.empty()) settings.timeSeparator = s;
    if (auto s = GetLocaleText(LOCALE_SDATE); !s.empty()) settings.dateSeparator = s;
    if (auto p =
            win32::DatePatternFromPicture(GetLocaleText(LOCALE_SSHORTDATE), settings.dateSeparator);
        !p.empty())
        settings.shortDatePattern = p;
    if (auto p = win32::TimePatternFromPicture(GetLocaleText(LOCALE_STIMEFORMAT),
                                               settings.timeSeparator);
        !p.empty())
        settings.longTimePattern = p;
    SetRegional(settings);
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

// ---- one instance ----------------------------------------------------------------------------

std::unique_ptr<InstanceLock> AcquireSingleInstance() {
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Local\\Wirepace.SingleInstance");
    const DWORD err = ::GetLastError();
    if (!mutex) {
        // Held by another instance under other security settings.
        if (err == ERROR_ACCESS_DENIED) return nullptr;
        RaiseFileError(static_cast<int>(err), "Local\\Wirepace.SingleInstance");
    }
    if (err == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return nullptr;
    }
    return std::make_unique<MutexLock>(mutex);
}

void EnableThemedControls() {
    if (!SystemIsThemed()) return;
    using InitCommonControlsExFn = BOOL(WINAPI*)(const CommonControlsInit*);
    const auto init = LookUp<InitCommonControlsExFn>(CommonControls(), "InitCommonControlsEx");
    const CommonControlsInit record{sizeof(CommonControlsInit), kAllControlClasses};
    if (init) init(&record);
}

// ---- files -----------------------------------------------------------------------------------

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
        throw RuntimeError(kErrPathFileAccess);
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

namespace {
bool gRefuseUnbuffered = false;
}  // namespace

CacheBypass CopyUncached(const std::string& from, const std::string& to) {
    if (IsBadPath(from) || IsBadPath(to)) throw RuntimeError(kErrFileNotFound);
    const std::wstring target = Widen(to);
    // The target is made fresh: a plain file of that name goes first, a link is refused.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (IsLinkOrFolder(attributes)) RefuseNonFile(to);
        if (!::DeleteFileW(target.c_str())) RaiseLast(to);
    }
    // Unbuffered: the source is read from where it lies and the target written through to it,
    // never to or from this machine's cache.
    DWORD flags = COPY_FILE_FAIL_IF_EXISTS | COPY_FILE_COPY_SYMLINK;
    if (!gRefuseUnbuffered) flags |= COPY_FILE_NO_BUFFERING;
    BOOL cancel = FALSE;
    if (!::CopyFileExW(Widen(from).c_str(), target.c_str(), nullptr, nullptr, &cancel, flags)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_EXISTS) ::DeleteFileW(target.c_str());
        RaiseFileError(static_cast<int>(err), err == ERROR_FILE_NOT_FOUND ? from : to);
    }
    return gRefuseUnbuffered ? CacheBypass::DroppedPages : CacheBypass::DirectReads;
}

void RefuseDirectReadsForTests(bool refuse) {
    gRefuseUnbuffered = refuse;
}

void RemoveFile(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
    if (IsDirectory(path)) throw RuntimeError(kErrPathFileAccess).WithPath(path);
    if (!::DeleteFileW(Widen(path).c_str())) RaiseLast(path);
}

void RenameFile(const std::string& from, const std::string& to) {
    if (IsBadPath(from) || IsBadPath(to)) throw RuntimeError(kErrFileNotFound);
    // MoveFileW never replaces an existing target: nothing is silently overwritten.
    if (!::MoveFileW(Widen(from).c_str(), Widen(to).c_str())) RaiseLast(to);
}

std::int64_t FileLength(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) RaiseLast(path);
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) |
           static_cast<std::int64_t>(data.nFileSizeLow);
}

void CreateEmptyFile(const std::string& path) {
    FreshFile file(path);
    file.Keep();
}

void AppendLine(const std::string& path, const std::string& line) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
    const std::wstring wide = Widen(path);
    if (IsLinkOrFolder(::GetFileAttributesW(wide.c_str()))) RefuseNonFile(path);
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseLast(path);
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &end, FILE_END)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(h);
        RaiseFileError(static_cast<int>(err), path);
    }
    const std::string text = win32::Utf8ToCodePage(line, CP_ACP) + "\r\n";
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
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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

std::string ReadFirstLine(const std::string& path) {
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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
    if (IsBadPath(path)) throw RuntimeError(kErrFileNotFound);
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
    if (IsBadPath(dir)) throw RuntimeError(kErrPathNotFound);
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

bool IsNetworkFolder(const std::string& dir) {
    if (IsSharePath(dir)) return true;
    if (dir.size() < 2 || dir[1] != ':') return false;
    const std::wstring root = Widen(dir.substr(0, 2) + "\\");
    return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

// ---- processes -------------------------------------------------------------------------------

std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle style) {
    std::string line = win32::QuoteProgramPath(program);
    if (!argText.empty()) line += " " + argText;
    return Launch(program, line, style, true);
}

std::unique_ptr<Process> StartProgramArgs(const std::string& program,
                                          const std::vector<std::string>& args, WindowStyle style) {
    std::string line = win32::QuoteProgramPath(program);
    for (const auto& arg : args) line += " " + win32::QuoteArgument(arg);
    return Launch(program, line, style, false);
}

std::string ArgumentText(int, char**) {
    // The raw command line: the C runtime's splitting would drop quotes and merge blanks.
    return Narrow(win32::CommandLineTail(::GetCommandLineW()));
}

void TieToController() {
    // The controller's job ends the drone with it; nothing to do here.
}

bool ControllerAlive() {
    return true;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return "localhost";
    return Narrow(std::wstring(name, size));
}

int CurrentProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

bool ProcessAlive(int id) {
    if (id <= 0) return false;
    const HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!h) return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool alive = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    ::CloseHandle(h);
    return alive;
}

std::optional<std::string> LogicalDriveStrings() {
    constexpr DWORD kBufferChars = 255;
    char buffer[kBufferChars + 1] = {};
    const DWORD n = ::GetLogicalDriveStringsA(kBufferChars, buffer);
    if (n == 0 || n > kBufferChars) return std::nullopt;
    return std::string(buffer, n);
}

void ReportError(const std::string& text) {
    // Unattended runs (tests, scripts) set WIREPACE_NO_MESSAGE_BOX so that a failing drone does
    // not wait for a click nobody can give.
    const auto quiet = GetEnv("WIREPACE_NO_MESSAGE_BOX");
    if (quiet && !quiet->empty() && *quiet != "0") {
        std::fputs((text + "\n").c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    std::string title = ProgramPath();
    if (const auto cut = title.find_last_of("\\/"); cut != std::string::npos)
        title.erase(0, cut + 1);
    if (const auto dot = title.find_last_of('.'); dot != std::string::npos) title.erase(dot);
    ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

namespace detail {

void KillProcessNow(int id) noexcept {
    if (id <= 0) return;
    if (const HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id))) {
        ::TerminateProcess(h, 1);
        ::CloseHandle(h);
    }
}

void RemoveFileNow(const char* utf8Path) noexcept {
    wchar_t wide[4096];
    if (::MultiByteToWideChar(CP_UTF8, 0, utf8Path, -1, wide, 4096) > 0) ::DeleteFileW(wide);
}

}  // namespace detail

}  // namespace wirepace::platform
