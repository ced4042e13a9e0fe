// SPDX-License-Identifier: MIT
// POSIX (Linux, macOS) implementation of the platform layer.
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"
#include "platform/platform_emergency.h"
#include "platform/platform_posix_detail.h"

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/vfs.h>
#else
#include <sys/mount.h>
#include <sys/param.h>
#endif
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include "common/drone_protocol.h"

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

struct Account {
    std::string name, home;
};

// The password database's entry for `uid`, or nullopt when it has none.
std::optional<Account> AccountOf(uid_t uid) {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc = 0;
    while ((rc = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || !found) return std::nullopt;
    return Account{entry.pw_name ? entry.pw_name : "", entry.pw_dir ? entry.pw_dir : ""};
}

// The user's own home: HOME when it names a folder, otherwise the password database. Never a
// shared folder such as /tmp, where another user could have prepared what we then trust.
std::string HomeFolder() {
    if (auto home = GetEnv("HOME"); home && !home->empty() && (*home)[0] == '/') return *home;
    const auto account = AccountOf(::geteuid());
    if (!account || account->home.empty() || account->home[0] != '/')
        throw RuntimeError(kErrPathNotFound,
                           "Cannot find the home folder of user " + std::to_string(::geteuid()) +
                               ": HOME is not set and the password database names none");
    return account->home;
}

std::string UserName(uid_t uid) {
    const auto account = AccountOf(uid);
    if (account && !account->name.empty())
        return account->name + " (uid " + std::to_string(uid) + ")";
    return "uid " + std::to_string(uid);
}

// Makes sure `folder` (no trailing separator) is a private folder of this user: created 0700
// when missing, tightened to 0700 when it is ours, refused when it is a link, not a folder, or
// another user's (whose links could then redirect our writes and deletes).
void MakePrivateFolder(const std::string& folder, const char* variable) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) RaiseFileError(errno, folder);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) RaiseFileError(errno, folder);
    const std::string advice = std::string(": refusing to use it. Remove it, or set ") + variable +
                               " to a folder of your own";
    if (S_ISLNK(st.st_mode))
        throw RuntimeError(kErrPermissionDenied, folder + " is a symbolic link" + advice);
    if (!S_ISDIR(st.st_mode))
        throw RuntimeError(kErrPathFileAccess, folder + " is not a folder" + advice);
    if (st.st_uid != ::geteuid())
        throw RuntimeError(kErrPermissionDenied, "The folder " + folder + " belongs to " +
                                                     UserName(st.st_uid) + ", not to " +
                                                     UserName(::geteuid()) + advice);
    if ((st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        RaiseFileError(errno, folder);
}

// This program's private folder under an XDG base directory: the parents are created as
// "mkdir -p" would, the folder itself is this user's own with mode 0700.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
    std::string base;
    if (auto value = GetEnv(variable); value && !value->empty() && (*value)[0] == '/') {
        base = *value;
    } else {
        base = WithSeparator(HomeFolder()) + fallbackUnderHome;
    }
    const std::string folder = WithSeparator(base) + "wirepace";
    std::error_code ec;
    fs::create_directories(base, ec);
    if (ec) RaiseFileError(ec.value(), base);
    MakePrivateFolder(folder, variable);
    return folder + "/";
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
    void Terminate() override {
        if (!HasEnded()) ::kill(pid_, SIGKILL);
    }
    int Id() const override { return static_cast<int>(pid_); }

  private:
    pid_t pid_;
    bool ended_ = false;
};

// A program that cannot start because its folder's file system forbids running programs gets
// a message that says so, not a bare "Permission denied".
[[noreturn]] void RaiseSpawnError(int error, const std::string& program) {
    if (error == EACCES) {
        const std::string folder = ParentOf(program);
        struct statvfs vfs {};
        if (::statvfs(folder.c_str(), &vfs) == 0 && (vfs.f_flag & ST_NOEXEC))
            throw RuntimeError(kErrPermissionDenied,
                               "Programs cannot be started from " + folder +
                                   ": its file system is mounted noexec; point XDG_CACHE_HOME at "
                                   "a folder where they can")
                .WithPath(program);
    }
    RaiseFileError(error, program);
}

std::unique_ptr<Process> Spawn(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<char*> argv;
    std::string prog = program;
    argv.push_back(prog.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = extraEnvironment;
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& mine : extraEnvironment)
            if (std::strncmp(*e, mine.c_str(), mine.find('=') + 1) == 0) replaced = true;
        if (!replaced) envp.push_back(*e);
    }
    envp.push_back(nullptr);
    // A process group of its own: Ctrl-C at the terminal means "stop the run" to the
    // controller, and must not kill the drones under it before they are told to end.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, prog.c_str(), nullptr, &attr, argv.data(), envp.data());
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) RaiseSpawnError(rc, program);
    return std::make_unique<PosixProcess>(pid);
}

#if defined(__linux__)
// The file system type of the mount that holds `dir`, from the mount table ("fuse.sshfs").
std::string MountTypeOf(const std::string& dir) {
    std::error_code ec;
    const std::string real = fs::canonical(dir, ec).string();
    if (ec) return {};
    std::ifstream table("/proc/self/mountinfo");
    std::string best, bestType;
    for (std::string line; std::getline(table, line);) {
        // id parent major:minor root mountpoint options... - type source superoptions
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type;
        // Blanks and other odd characters in mount points are written as octal escapes.
        std::string point;
        for (std::size_t i = 0; i < mountPoint.size(); ++i) {
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size() &&
                std::isdigit(static_cast<unsigned char>(mountPoint[i + 1]))) {
                point += static_cast<char>(std::stoi(mountPoint.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                point += mountPoint[i];
            }
        }
        const bool under = point == "/" || real == point ||
                           (real.size() > point.size() &&
                            real.compare(0, point.size(), point) == 0 && real[point.size()] == '/');
        if (under && point.size() >= best.size()) {
            best = point;
            bestType = type;
        }
    }
    return bestType;
}

bool IsNetworkFuseMount(const std::string& dir) {
    static const char* const kNetworkClients[] = {
        "fuse.sshfs",    "fuse.smbnetfs",  "fuse.rclone",    "fuse.s3fs",      "fuse.curlftpfs",
        "fuse.davfs",    "fuse.glusterfs", "fuse.ceph-fuse", "fuse.cephfs",    "fuse.mfs",
        "fuse.lizardfs", "fuse.juicefs",   "fuse.gcsfuse",   "fuse.goofys",    "fuse.blobfuse",
        "fuse.afpfs",    "fuse.nfs",       "fuse.fuse-nfs",  "fuse.seaweedfs", "fuse.beegfs"};
    const std::string type = MountTypeOf(dir);
    for (const char* client : kNetworkClients)
        if (type == client) return true;
    return false;
}
#endif

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

namespace posix {

std::string DatePatternFromFormat(const std::string& format, std::string& separator) {
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            switch (format[++i]) {
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
                    separator.assign(1, '-');
                    break;
                default:
                    break;
            }
        } else {
            const char c = format[i];
            if (c == '.' || c == '/' || c == '-') {
                separator = std::string(1, c);
                pattern += '/';
            } else {
                pattern += c;
            }
        }
    }
    return pattern;
}

std::string TimePatternFromFormat(const std::string& format, std::string& separator) {
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            switch (format[++i]) {
                case 'H':
                case 'I':  // twelve-hour forms lose the AM/PM marker: a log wants 24 hours
                    pattern += "hh";
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
                default:
                    break;
            }
        } else if (format[i] == ':' || format[i] == '.') {
            separator = std::string(1, format[i]);
            pattern += ':';
        } else if (format[i] != ' ') {
            pattern += format[i];
        }
    }
    return pattern;
}

}  // namespace posix

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
        if (auto pattern = posix::DatePatternFromFormat(dateFmt, settings.dateSeparator);
            !pattern.empty())
            settings.shortDatePattern = pattern;
    }
    if (timeFmt != "%H:%M:%S" && !timeFmt.empty()) {
        if (auto pattern = posix::TimePatternFromFormat(timeFmt, settings.timeSeparator);
            !pattern.empty())
            settings.longTimePattern = pattern;
    }
    SetRegional(settings);
}

bool IsSharePath(const std::string& dir) {
    return dir.size() >= 2 &&
           ((dir[0] == '/' && dir[1] == '/') || (dir[0] == '\\' && dir[1] == '\\'));
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
                throw RuntimeError(kErrFileNotFound).WithPath(path);
            throw RuntimeError(kErrPathNotFound).WithPath(path);
        }
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            throw RuntimeError(kErrPathNotFound).WithPath(path);
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
        case EBUSY:
            throw RuntimeError(kErrPermissionDenied).WithPath(path);
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG:
            throw RuntimeError(kErrDiskFull).WithPath(path);
        default:
            throw RuntimeError(kErrPathFileAccess).WithPath(path);
    }
}

namespace {

void CheckPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) throw RuntimeError(kErrFileNotFound);
}

int OpenOrRaise(const std::string& path, int flags, mode_t mode = 0644) {
    CheckPath(path);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) RaiseFileError(errno, path);
    return fd;
}

// A link or anything but a plain file under a name this program writes: never written through.
[[noreturn]] void RefuseNonFile(const std::string& path) {
    throw RuntimeError(kErrPathFileAccess, "Refusing to write through \"" + path +
                                               "\": it is a symbolic link or not a plain file")
        .WithPath(path);
}

// Creates `path` fresh for writing: a plain file of that name is removed first, then the name
// is created exclusively without following a link, so no write ever lands elsewhere.
int CreateFresh(const std::string& path, mode_t mode) {
    CheckPath(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            // The umask decides a data file's mode, but must not take a program's run bit.
            if ((mode & S_IXUSR) && ::fchmod(fd, mode) != 0) {
                const int err = errno;
                ::close(fd);
                ::unlink(path.c_str());
                RaiseFileError(err, path);
            }
            return fd;
        }
        if (errno != EEXIST) RaiseFileError(errno, path);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;  // gone meanwhile: try again
        if (!S_ISREG(st.st_mode)) RefuseNonFile(path);
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) RaiseFileError(errno, path);
    }
    throw RuntimeError(kErrPathFileAccess).WithPath(path);
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

void CloseOrRaise(int fd, const std::string& path) {
    if (::close(fd) != 0 && errno != EINTR) RaiseFileError(errno, path);
}

// A file this process is creating: removed again unless Keep() is reached, so a failure at any
// step (a full disk, a refused flush) leaves nothing half written.
class FreshFile {
  public:
    FreshFile(const std::string& path, mode_t mode) : path_(path), fd_(CreateFresh(path, mode)) {}
    ~FreshFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;
    int Fd() const { return fd_; }
    void Write(const void* data, std::size_t size) { WriteFully(fd_, data, size, path_); }
    // Flushes the written data out of this machine's cache (to the disk or the server).
    void Flush() {
        if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS)
            RaiseFileError(errno, path_);
    }
    void Keep() {
        const int fd = std::exchange(fd_, -1);
        CloseOrRaise(fd, path_);
        kept_ = true;
    }

  private:
    std::string path_;
    int fd_;
    bool kept_ = false;
};

std::atomic<bool> gRefuseDirectReads{false};

// Unbuffered reads need a buffer aligned to the device's block; a page satisfies every one.
constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::size_t kAlignment = 4096;

struct AlignedBuffer {
    AlignedBuffer() {
        if (::posix_memalign(&data, kAlignment, kCopyChunk) != 0) throw std::bad_alloc();
    }
    ~AlignedBuffer() { std::free(data); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    void* data = nullptr;
};

// Opens the source of a timed copy so that its bytes come from where it lies: unbuffered where
// the file system accepts it, otherwise with its cached pages dropped first.
int OpenUncached(const std::string& path, CacheBypass& how) {
    CheckPath(path);
    if (!gRefuseDirectReads.load()) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        if (fd >= 0) {
            how = CacheBypass::DirectReads;
            return fd;
        }
        if (errno != EINVAL && errno != EOPNOTSUPP) RaiseFileError(errno, path);
    }
    const int fd = OpenOrRaise(path, O_RDONLY);
    how = CacheBypass::DroppedPages;
    // Written data must be on its way before clean pages can be dropped.
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return fd;
}

// Reads one chunk; an unbuffered read that the file system refuses after all (some accept the
// flag at open and fail the read) falls back to dropped pages for the rest of the file.
ssize_t ReadChunk(int fd, void* buffer, const std::string& path, CacheBypass& how) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, kCopyChunk);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EINVAL && how == CacheBypass::DirectReads) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0) {
                how = CacheBypass::DroppedPages;
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                continue;
            }
        }
        RaiseFileError(errno, path);
    }
}

}  // namespace

FileWriter::FileWriter(const std::string& path) : path_(path), handle_(CreateFresh(path, 0644)) {}

FileWriter::~FileWriter() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(handle_));
    ::unlink(path_.c_str());
}

void FileWriter::Write(const void* data, std::size_t size) {
    if (handle_ < 0) throw RuntimeError(kErrPathFileAccess);
    WriteFully(static_cast<int>(handle_), data, size, path_);
}

void FileWriter::Close() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        const int err = errno;
        ::unlink(path_.c_str());
        RaiseFileError(err, path_);
    }
}

CacheBypass CopyUncached(const std::string& from, const std::string& to) {
    CacheBypass how = CacheBypass::DirectReads;
    const int in = OpenUncached(from, how);
    struct InGuard {
        int fd;
        ~InGuard() { ::close(fd); }
    } guard{in};
    struct stat st {};
    if (::fstat(in, &st) == 0 && !S_ISREG(st.st_mode)) throw RuntimeError(kErrPathFileAccess);
    FreshFile out(to, 0644);
    AlignedBuffer buffer;
    for (;;) {
        const ssize_t n = ReadChunk(in, buffer.data, from, how);
        if (n == 0) break;
        out.Write(buffer.data, static_cast<std::size_t>(n));
    }
    out.Flush();
    out.Keep();
    return how;
}

void RefuseDirectReadsForTests(bool refuse) {
    gRefuseDirectReads.store(refuse);
}

void RemoveFile(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RuntimeError(kErrPathFileAccess);
    if (::unlink(path.c_str()) != 0) RaiseFileError(errno, path);
}

void RenameFile(const std::string& from, const std::string& to) {
    CheckPath(from);
    CheckPath(to);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) RaiseFileError(errno, from);
    if (!S_ISREG(st.st_mode)) RefuseNonFile(from);
    // Renaming onto an existing name is refused, as on Windows: nothing is silently replaced.
    if (::lstat(to.c_str(), &st) == 0) throw RuntimeError(kErrPathFileAccess).WithPath(to);
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseFileError(errno, to);
}

std::int64_t FileLength(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) RaiseFileError(errno, path);
    return static_cast<std::int64_t>(st.st_size);
}

void CreateEmptyFile(const std::string& path) {
    FreshFile file(path, 0644);
    file.Keep();
}

void AppendLine(const std::string& path, const std::string& line) {
    CheckPath(path);
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == ELOOP) RefuseNonFile(path);
        RaiseFileError(errno, path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        RefuseNonFile(path);
    }
    const std::string text = line + "\r\n";
    try {
        WriteFully(fd, text.data(), text.size(), path);
    } catch (...) {
        // A torn line would glue itself to the next one: cut the file back to where it was.
        if (::ftruncate(fd, st.st_size) != 0) {
        }
        ::close(fd);
        throw;
    }
    CloseOrRaise(fd, path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    FreshFile file(path, 0644);
    file.Write(text.data(), text.size());
    file.Keep();
}

bool CreateExclusiveFile(const std::string& path, const std::string& text) {
    CheckPath(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        RaiseFileError(errno, path);
    }
    try {
        WriteFully(fd, text.data(), text.size(), path);
        if (::fdatasync(fd) != 0 && errno != EINVAL) RaiseFileError(errno, path);
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    CloseOrRaise(fd, path);
    return true;
}

namespace {
// Reads up to the first line end and closes `fd`.
std::string FirstLineOf(int fd, const std::string& path) {
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
}  // namespace

std::string ReadFirstLine(const std::string& path) {
    return FirstLineOf(OpenOrRaise(path, O_RDONLY | O_NOFOLLOW), path);
}

void ReplaceFileWhole(const std::string& path, const std::string& bytes) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) RefuseNonFile(path);
    // A hidden name without the final one's ending, so a collector that reads "*.prom" skips
    // it; the process id keeps two writers of the same file apart.
    const fs::path final(path);
    const std::string temp = (final.parent_path() / ("." + final.filename().string() + ".tmp-" +
                                                     std::to_string(::getpid())))
                                 .string();
    {
        FreshFile file(temp, 0644);  // the umask decides, as for any data file
        file.Write(bytes.data(), bytes.size());
        file.Flush();  // on disk before the name points at it
        file.Keep();
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        RaiseFileError(err, path);
    }
}

std::string ReadPrivateFirstLine(const std::string& path) {
    // Non-blocking, so a pipe under the name cannot hold the program at the open.
    const int fd = OpenOrRaise(path, O_RDONLY | O_NONBLOCK);
    struct stat st {};
    const int statError = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (statError == 0 && S_ISREG(st.st_mode) && !(st.st_mode & (S_IRGRP | S_IROTH)))
        return FirstLineOf(fd, path);
    ::close(fd);
    if (statError != 0) RaiseFileError(statError, path);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(kErrPathFileAccess, "\"" + path + "\" is not a plain file")
            .WithPath(path);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw RuntimeError(kErrPermissionDenied, "\"" + path + "\" may be read by other users (mode " +
                                                 mode +
                                                 "); make it readable by its owner alone: "
                                                 "chmod 600 '" +
                                                 path + "'")
        .WithPath(path);
}

void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size) {
    FreshFile file(path, 0700);
    file.Write(bytes, size);
    file.Keep();
}

void FlushFile(const std::string& path) {
    const int fd = OpenOrRaise(path, O_RDONLY | O_NOFOLLOW);
    const int rc = ::fdatasync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL && err != EROFS) RaiseFileError(err, path);
}

void TouchFile(const std::string& path) {
    CheckPath(path);
    if (::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0)
        RaiseFileError(errno, path);
}

double FileAgeSeconds(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) RaiseFileError(errno, path);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec - st.st_mtim.tv_sec) +
           static_cast<double>(now.tv_nsec - st.st_mtim.tv_nsec) / 1e9;
}

EntryKind KindOf(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return EntryKind::Missing;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return EntryKind::Missing;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Other;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    CheckPath(dir);
    DIR* d = ::opendir(dir.c_str());
    if (!d) RaiseFileError(errno, WithSeparator(dir) + ".");
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

bool IsNetworkFolder(const std::string& dir) {
    if (IsSharePath(dir)) return true;
    struct statfs fs {};
    if (dir.empty() || ::statfs(dir.c_str(), &fs) != 0) return false;
#if defined(__linux__)
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x01021997:  // 9p
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
        case 0x6B414653:  // kAFS
        case 0x73757245:  // Coda
        case 0x564C:      // NCP
        case 0x47504653:  // GPFS
        case 0x0BD00BD0:  // Lustre
        case 0x19830326:  // FhGFS / BeeGFS
        case 0x013111A8:  // IBRIX
        case 0x7461636F:  // OCFS2
            return true;
        case 0x65735546:  // FUSE: network only for the user-space clients of network protocols
            return IsNetworkFuseMount(dir);
        default:
            return false;
    }
#else
    // BSD and macOS name the file system type.
    const std::string type = fs.f_fstypename;
    return type == "nfs" || type == "smbfs" || type == "afpfs" || type == "webdav" ||
           type == "macfuse" || type == "osxfuse";
#endif
}

std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle) {
    return Spawn(program, {argText},
                 {std::string(kControllerPidVariable) + "=" + std::to_string(::getpid())});
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

namespace {
pid_t ExpectedController() {
    static const pid_t expected = [] {
        const char* text = std::getenv(kControllerPidVariable);
        return text ? static_cast<pid_t>(std::atol(text)) : static_cast<pid_t>(0);
    }();
    return expected;
}
}  // namespace

void TieToController() {
#if defined(__linux__)
    // Killed with the controller; and if the controller ended before this took hold, the parent
    // is already someone else.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (!ControllerAlive()) std::_Exit(0);
}

bool ControllerAlive() {
    const pid_t expected = ExpectedController();
    // Started by hand (tests, a user): nobody to watch.
    if (expected <= 0) return true;
    return ::getppid() == expected;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

bool ProcessAlive(int id) {
    if (id <= 0) return false;
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

std::optional<std::string> LogicalDriveStrings() {
    return std::nullopt;
}

void ReportError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

namespace detail {

void KillProcessNow(int id) noexcept {
    if (id > 0) ::kill(static_cast<pid_t>(id), SIGKILL);
}

void RemoveFileNow(const char* utf8Path) noexcept {
    ::unlink(utf8Path);
}

}  // namespace detail

}  // namespace wirepace::platform
