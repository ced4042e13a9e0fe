// SPDX-License-Identifier: MIT
// POSIX (Linux, macOS) implementation of the platform layer.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

extern char** environ;

namespace wirepace::platform {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A folder under an XDG base directory, created (with its parents) when missing.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
    std::string base;
    if (auto value = GetEnv(variable); value && !value->empty() && (*value)[0] == '/') {
        base = *value;
    } else {
        auto home = GetEnv("HOME");
        base = std::string(home && !home->empty() ? *home : "/tmp") + "/" + fallbackUnderHome;
    }
    const std::string folder = WithSeparator(base) + "wirepace/";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) RaiseFileError(ec.value(), folder);
    return folder;
}

class PosixLock : public InstanceLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { ::close(fd_); }

  private:
    int fd_;
};

class PosixProcess : public Process {
  public:
    explicit PosixProcess(pid_t pid) : pid_(pid) {}
    ~PosixProcess() override {
        // A child nobody waits for any more must not stay a zombie; a still running one is
        // left to end by itself (drones end once released), and is reaped then by init.
        HasEnded();
    }
    bool HasEnded() override {
        if (ended_) return true;
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) ended_ = true;
        return ended_;
    }
    bool WaitForEnd(int ms) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!HasEnded()) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    int Id() const override { return static_cast<int>(pid_); }

  private:
    pid_t pid_;
    bool ended_ = false;
};

std::unique_ptr<Process> Spawn(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string prog = program;
    argv.push_back(prog.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A process group of its own: Ctrl-C at the terminal means "stop the run" to the
    // controller, and must not kill the drones under it before they are told to end.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, prog.c_str(), nullptr, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) RaiseFileError(rc, program);
    return std::make_unique<PosixProcess>(pid);
}

}  // namespace

std::string ProgramPath() {
#if defined(__APPLE__)
    char buffer[4096];
    uint32_t size = sizeof buffer;
    if (_NSGetExecutablePath(buffer, &size) == 0) return fs::weakly_canonical(buffer).string();
    return {};
#else
    std::error_code ec;
    const auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
#endif
}

std::string ProgramFolder() {
    return WithSeparator(ParentOf(ProgramPath()));
}

std::string ControllerAppDrive() {
    return XdgFolder("XDG_CACHE_HOME", ".cache");
}

std::string DroneAppDrive() {
    return ProgramFolder();
}

std::string LogFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

bool ProgramRunsFromShare() {
    return false;
}

std::optional<std::string> GetEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void LoadRegionalSettings() {
    // Read the environment's locale without making it the process locale: number parsing and
    // printing elsewhere must not change under our feet.
    RegionalSettings settings;
    locale_t loc = ::newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) {
        SetRegional(settings);
        return;
    }
    const std::string radix = ::nl_langinfo_l(RADIXCHAR, loc);
    const std::string thousands = ::nl_langinfo_l(THOUSEP, loc);
    const std::string dateFmt = ::nl_langinfo_l(D_FMT, loc);
    const std::string timeFmt = ::nl_langinfo_l(T_FMT, loc);
    ::freelocale(loc);

    if (!radix.empty()) settings.decimalSeparator = radix;
    settings.groupingSeparator = thousands.empty() ? (radix == "," ? "." : ",") : thousands;

    // The C locale writes "%m/%d/%y"; ISO-like forms read better in a log, so keep our
    // defaults there and translate real locale formats into date patterns.
    if (dateFmt != "%m/%d/%y") {
        std::string pattern;
        for (std::size_t i = 0; i < dateFmt.size(); ++i) {
            if (dateFmt[i] == '%' && i + 1 < dateFmt.size()) {
                switch (dateFmt[++i]) {
                    case 'd':
                        pattern += "dd";
                        break;
                    case 'e':
                        pattern += "d";
                        break;
                    case 'm':
                        pattern += "mm";
                        break;
                    case 'y':
                        pattern += "yy";
                        break;
                    case 'Y':
                        pattern += "yyyy";
                        break;
                    case 'F':
                        pattern += "yyyy/mm/dd";
                        settings.dateSeparator.assign(1, '-');
                        break;
                    default:
                        break;
                }
            } else {
                const char c = dateFmt[i];
                if (c == '.' || c == '/' || c == '-') {
                    settings.dateSeparator = std::string(1, c);
                    pattern += '/';
                } else {
                    pattern += c;
                }
            }
        }
        if (!pattern.empty()) settings.shortDatePattern = pattern;
    }
    if (timeFmt != "%H:%M:%S" && !timeFmt.empty()) {
        std::string pattern;
        bool twelveHour = false;
        for (std::size_t i = 0; i < timeFmt.size(); ++i) {
            if (timeFmt[i] == '%' && i + 1 < timeFmt.size()) {
                switch (timeFmt[++i]) {
                    case 'H':
                        pattern += "hh";
                        break;
                    case 'I':
                        pattern += "hh";
                        twelveHour = true;
                        break;
                    case 'M':
                        pattern += "nn";
                        break;
                    case 'S':
                        pattern += "ss";
                        break;
                    case 'T':
                        pattern += "hh:nn:ss";
                        break;
                    case 'p':
                        break;
                    default:
                        break;
                }
            } else if (timeFmt[i] == ':' || timeFmt[i] == '.') {
                settings.timeSeparator = std::string(1, timeFmt[i]);
                pattern += ':';
            } else if (timeFmt[i] != ' ') {
                pattern += timeFmt[i];
            }
        }
        // Twelve-hour forms lose the AM/PM marker here; a log wants 24 hours anyway.
        (void)twelveHour;
        if (!pattern.empty()) settings.longTimePattern = pattern;
    }
    SetRegional(settings);
}

bool IsSharePath(const std::string& dir) {
    return dir.size() >= 2 &&
           ((dir[0] == '/' && dir[1] == '/') || (dir[0] == '\\' && dir[1] == '\\'));
}

bool CanMapShares() {
    return true;
}

char Separator() {
    return '/';
}

std::string NormaliseSeparators(const std::string& path) {
    std::string out = path;
    for (auto& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::unique_ptr<InstanceLock> AcquireSingleInstance() {
    const std::string path = ControllerAppDrive() + "wirepace.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) RaiseFileError(errno, path);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixLock>(fd);
}

void EnableThemedControls() {}

[[noreturn]] void RaiseFileError(int osError, const std::string& path) {
    switch (osError) {
        case ENOENT: {
            // A missing file in a folder that exists is "file not found"; a missing folder on
            // the way is "path not found".
            struct stat st {};
            const std::string parent = ParentOf(path);
            if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                throw RuntimeError(kErrFileNotFound);
            throw RuntimeError(kErrPathNotFound);
        }
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            throw RuntimeError(kErrPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
        case EBUSY:
            throw RuntimeError(kErrPermissionDenied);
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG:
            throw RuntimeError(kErrDiskFull);
        default:
            throw RuntimeError(kErrPathFileAccess);
    }
}

namespace {

int OpenOrRaise(const std::string& path, int flags, mode_t mode = 0644) {
    if (path.find('\0') != std::string::npos || path.empty()) throw RuntimeError(kErrFileNotFound);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) RaiseFileError(errno, path);
    return fd;
}

// Writes everything, retrying short writes; the descriptor stays open either way.
void WriteFully(int fd, const void* data, std::size_t size, const std::string& path) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno, path);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The same for a file opened only for this write: closed when the write fails.
void WriteAll(int fd, const void* data, std::size_t size, const std::string& path) {
    try {
        WriteFully(fd, data, size, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

void CloseOrRaise(int fd, const std::string& path) {
    if (::close(fd) != 0 && errno != EINTR) RaiseFileError(errno, path);
}

}  // namespace

FileWriter::FileWriter(const std::string& path)
    : path_(path), handle_(OpenOrRaise(path, O_WRONLY | O_CREAT | O_TRUNC)) {}

FileWriter::~FileWriter() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void FileWriter::Write(const void* data, std::size_t size) {
    if (handle_ < 0) throw RuntimeError(kErrPathFileAccess);
    WriteFully(static_cast<int>(handle_), data, size, path_);
}

void FileWriter::Close() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    CloseOrRaise(fd, path_);
}

void CopyFile(const std::string& from, const std::string& to) {
    const int in = OpenOrRaise(from, O_RDONLY);
    struct stat st {};
    if (::fstat(in, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(in);
        throw RuntimeError(kErrPathFileAccess);
    }
    int out = -1;
    try {
        out = OpenOrRaise(to, O_WRONLY | O_CREAT | O_TRUNC);
    } catch (...) {
        ::close(in);
        throw;
    }
    static constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), kChunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(in);
            ::close(out);
            RaiseFileError(err, from);
        }
        try {
            WriteAll(out, buffer.get(), static_cast<std::size_t>(n), to);
        } catch (...) {
            ::close(in);
            throw;
        }
    }
    ::close(in);
    CloseOrRaise(out, to);
}

void DeleteFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RuntimeError(kErrPathFileAccess);
    if (::unlink(path.c_str()) != 0) RaiseFileError(errno, path);
}

void RenameFile(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) RaiseFileError(errno, from);
    // Renaming onto an existing file is refused, as on Windows: nothing is silently replaced.
    if (::stat(to.c_str(), &st) == 0) throw RuntimeError(kErrPathFileAccess);
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseFileError(errno, to);
}

std::int64_t FileLength(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) RaiseFileError(errno, path);
    return static_cast<std::int64_t>(st.st_size);
}

void CreateEmptyFile(const std::string& path) {
    const int fd = OpenOrRaise(path, O_WRONLY | O_CREAT | O_TRUNC);
    CloseOrRaise(fd, path);
}

void AppendLine(const std::string& path, const std::string& line) {
    const int fd = OpenOrRaise(path, O_WRONLY | O_CREAT | O_APPEND);
    const std::string text = line + "\r\n";
    WriteAll(fd, text.data(), text.size(), path);
    CloseOrRaise(fd, path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    const int fd = OpenOrRaise(path, O_WRONLY | O_CREAT | O_TRUNC);
    WriteAll(fd, text.data(), text.size(), path);
    CloseOrRaise(fd, path);
}

std::string ReadFirstLine(const std::string& path) {
    const int fd = OpenOrRaise(path, O_RDONLY);
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            RaiseFileError(err, path);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.find_first_of("\r\n") != std::string::npos) break;
    }
    ::close(fd);
    const auto end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size) {
    const int fd = OpenOrRaise(path, O_WRONLY | O_CREAT, 0755);
    WriteAll(fd, bytes, size, path);
    if (::fchmod(fd, 0755) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path);
    }
    CloseOrRaise(fd, path);
}

std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle) {
    return Spawn(program, {argText});
}

std::unique_ptr<Process> StartProgramArgs(const std::string& program,
                                          const std::vector<std::string>& args, WindowStyle) {
    return Spawn(program, args);
}

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::optional<std::string> LogicalDriveStrings() {
    return std::nullopt;
}

void ReportError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace wirepace::platform
