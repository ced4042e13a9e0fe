// SPDX-License-Identifier: MIT
// Share paths on POSIX: the share is mounted in user space with smbnetfs (FUSE) in a private
// folder under the work root, with the account in a configuration file of mode 0600, so no
// password is ever on a command line. The copies go through the mount; the run keeps showing
// the share path.
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/printable_text.h"
#include "platform/platform.h"
#include "platform/platform_emergency.h"
#include "platform/share_mount_detail.h"

extern char** environ;

namespace wirepace::platform {

namespace {

namespace fs = smbnetfs;

// The error numbers and texts of the system where share mapping began, so a log reads the
// same on both systems. 53 also makes the run say "Failed to establish a connection.".
constexpr int kErrLogonFailure = 1326;
constexpr int kErrBadNetName = 67;
constexpr int kErrBadNetPath = 53;

std::string ShareText(const ShareTarget& t) {
    return "//" + t.server + "/" + t.share;
}

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs a helper program to its end (at most timeoutMs), with standard input from /dev/null
// and its output in `output` (or discarded), `home` as HOME when not empty. Returns its exit
// status, -1 when it was killed or timed out.
int RunHelper(const std::string& program, const std::vector<std::string>& args,
              const std::string& output, const std::string& home, int timeoutMs) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (home.empty() || std::strncmp(*e, "HOME=", 5) != 0) env.emplace_back(*e);
    if (!home.empty()) env.push_back("HOME=" + home);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argCopies = args;
    std::string prog = program;
    std::vector<char*> argv{prog.data()};
    for (auto& a : argCopies) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string out = output.empty() ? std::string("/dev/null") : output;
    ::posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    // Its own process group: Ctrl-C at the terminal is the controller's to handle.
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, prog.c_str(), &actions, &attr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) return -1;

    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The mount table's form of a path: blanks, tabs, line ends and backslashes as octal escapes.
std::string MountTableEscaped(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned char>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

// True when something is mounted on `dir`. Read from the mount table where there is one, so
// a hung or dead mount does not hang the question.
bool IsMounted(const std::string& dir) {
    const std::string target = MountTableEscaped(WithoutSlash(dir));
    std::ifstream table("/proc/self/mountinfo");
    if (table) {
        for (std::string line; std::getline(table, line);) {
            std::istringstream fields(line);
            std::string id, parent, devNumbers, root, mountPoint;
            fields >> id >> parent >> devNumbers >> root >> mountPoint;
            if (mountPoint == target) return true;
        }
        return false;
    }
    struct stat here {};
    struct stat above {};
    if (::stat(WithoutSlash(dir).c_str(), &here) != 0) return errno == ENOTCONN;
    if (::stat((WithoutSlash(dir) + "/..").c_str(), &above) != 0) return false;
    return here.st_dev != above.st_dev;
}

std::string UnmountProgram() {
    for (const char* name : {"fusermount3", "fusermount"})
        if (auto found = FindProgram(name); !found.empty()) return found;
    return {};
}

// Unmounts `dir`; a mount still in use (a drone that has not let go) is detached lazily, so it
// goes as soon as the last file closes. Raises when the mount stays.
void Unmount(const std::string& dir) {
    if (!IsMounted(dir)) return;
    const std::string fusermount = UnmountProgram();
    const std::string path = WithoutSlash(dir);
    if (!fusermount.empty()) {
        if (RunHelper(fusermount, {"-u", "-q", path}, "", "", 10000) == 0 && !IsMounted(dir))
            return;
        RunHelper(fusermount, {"-u", "-z", "-q", path}, "", "", 10000);
    } else if (auto umount = FindProgram("umount"); !umount.empty()) {
        RunHelper(umount, {path}, "", "", 10000);
    }
    if (IsMounted(dir))
        throw RuntimeError(kErrPathFileAccess, "The share mounted on " + path +
                                                   " could not be unmounted; unmount it with "
                                                   "fusermount -u");
}

// Ends the daemon serving a mount, with its helpers. Its mount then answers every request with
// an error at once: an unmount, and every process asleep in a request on a share that stopped
// answering (a drone, a killed run's controller), stop waiting for the server. Nothing is lost:
// the run's copies were flushed and its files closed before its mapping ends.
void EndDaemon(int group) {
    if (group <= 1) return;
    ::kill(-group, SIGKILL);
    for (int waited = 0; waited < 1000 && ::kill(-group, 0) == 0; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void RemoveIfPresent(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) RaiseFileError(errno, path);
}

void RemoveDirIfPresent(const std::string& path) {
    if (::rmdir(WithoutSlash(path).c_str()) != 0 && errno != ENOENT) RaiseFileError(errno, path);
}

// Removes the mount and every file of the mapping folder, one known name at a time: nothing
// is ever removed recursively, so the share's own files cannot be touched even if the
// unmount failed.
void RemoveMapping(const fs::Layout& l) {
    struct stat st {};
    if (::lstat(WithoutSlash(l.folder).c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {  // a planted link or file under our name: only the name goes
        RemoveIfPresent(WithoutSlash(l.folder));
        return;
    }
    // The credentials go first, whatever happens to the mount.
    RemoveIfPresent(l.config);
    EndDaemon(fs::DaemonProcessGroup(WithoutSlash(l.mount)));
    std::exception_ptr unmountError;
    try {
        Unmount(l.mount);
    } catch (...) {
        unmountError = std::current_exception();
    }
    RemoveIfPresent(l.log);
    // The home folder is smbnetfs's alone (its client library leaves caches there) and never
    // holds the mount, so it goes with all it holds; links in it are removed, not followed.
    std::error_code ec;
    std::filesystem::remove_all(WithoutSlash(l.home), ec);
    if (ec) RaiseFileError(ec.value(), l.home);
    if (unmountError) std::rethrow_exception(unmountError);
    RemoveDirIfPresent(l.mount);
    RemoveDirIfPresent(l.folder);
}

void MakePrivateDir(const std::string& path) {
    if (::mkdir(WithoutSlash(path).c_str(), 0700) != 0) RaiseFileError(errno, path);
}

void WritePrivateFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) RaiseFileError(errno, path);
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(path.c_str());
            RaiseFileError(err, path);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) RaiseFileError(errno, path);
}

std::string LastLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string last;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.find("WARNING") == std::string::npos) last = line;
    return last;
}

bool ServerNameResolves(const std::string& server) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(server.c_str(), "445", &hints, &result);
    if (result) ::freeaddrinfo(result);
    return rc == 0;
}

// Asks the mount for the share once: the first access opens the connection with the account,
// so its answer says whether the mapping works.
void CheckShare(const fs::Layout& l, const ShareTarget& t) {
    const std::string shareDir = l.mount + t.server + "/" + t.share;
    // Opening the folder, not only asking for its attributes: smbnetfs answers those
    // without going to the server.
    const int fd = ::open(shareDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    const int err = errno;
    if (err == ENOTDIR)
        throw RuntimeError(kErrBadNetName, "The network name cannot be found: " + ShareText(t) +
                                               " is not a shared folder");
    if (err == EACCES || err == EPERM)
        throw RuntimeError(kErrLogonFailure, "The user name or password is incorrect: " +
                                                 ShareText(t) + " refused the account");
    if (err == ENOENT)
        throw RuntimeError(kErrBadNetName, "The network name cannot be found: the server " +
                                               t.server + " has no share \"" + t.share + "\"");
    if (!ServerNameResolves(t.server))
        throw RuntimeError(kErrBadNetPath, "The network path was not found: the server name " +
                                               t.server + " is unknown");
    throw RuntimeError(kErrBadNetPath, "The network path was not found: the server " + t.server +
                                           " does not answer on the SMB port (" +
                                           std::strerror(err) + ")");
}

class SmbnetfsMount : public ShareMapping {
  public:
    explicit SmbnetfsMount(fs::Layout layout) : layout_(std::move(layout)) {}
    ~SmbnetfsMount() override {
        try {
            Unmap();
        } catch (...) {
            // The next run's start removes what is left.
        }
    }
    std::string LocalPath(const std::string& sharePath) const override {
        const std::string path = NormaliseSeparators(sharePath);
        if (!IsSharePath(path)) return path;
        return layout_.mount + path.substr(2);
    }
    void Unmap() override {
        if (done_) return;
        done_ = true;
        RemoveMapping(layout_);
        // Kept while the mount stays: an emergency exit then tries again.
        ClearEmergencyMount();
    }

  private:
    fs::Layout layout_;
    bool done_ = false;
};

}  // namespace

bool SharesMapToDriveLetters() {
    return false;
}

void RemoveStaleShareMapping(const std::string& workRoot) {
    RemoveMapping(fs::LayoutFor(workRoot));
}

std::unique_ptr<ShareMapping> MapShare(const ShareTarget& target, const std::string&,
                                       const std::string& user, const std::string& password,
                                       const std::string& workRoot) {
    // What cannot be written is refused before anything exists on disk.
    const std::string config = fs::ConfigText(target, user, password);
    const std::string smbnetfs = FindProgram("smbnetfs");
    if (smbnetfs.empty())
        throw RuntimeError(kErrPathFileAccess,
                           "smbnetfs is not installed: share paths on this system are mounted "
                           "with smbnetfs (install the packages smbnetfs and fuse3)");
#if defined(__linux__)
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        throw RuntimeError(kErrPathFileAccess,
                           "FUSE is not available (/dev/fuse cannot be opened): share paths on "
                           "this system are mounted with smbnetfs on FUSE");
    if (UnmountProgram().empty())
        throw RuntimeError(kErrPathFileAccess,
                           "fusermount is not installed: share paths on this system need FUSE "
                           "(install the package fuse3)");
#endif

    const fs::Layout l = fs::LayoutFor(workRoot);
    RemoveMapping(l);
    auto mapping = std::make_unique<SmbnetfsMount>(l);  // removes everything if we fail below
    MakePrivateDir(l.folder);
    MakePrivateDir(l.home);
    MakePrivateDir(l.configDir);
    MakePrivateDir(l.mount);
    WritePrivateFile(l.smbConf, "[global]\n");
    // From the credentials on, an exit that cannot wait for the run's own cleanup must take
    // them, the mount and smbnetfs with it.
    EmergencyMount emergency{l.config, WithoutSlash(l.mount), UnmountProgram(), 0};
    SetEmergencyMount(emergency);
    WritePrivateFile(l.config, config);

    // smbnetfs reads its configuration from HOME, so no path (which may hold a comma) goes
    // into its options, and returns once the mount is in place (it goes on in the
    // background). Without big_writes FUSE hands it 4 KB writes, each a round trip of its own:
    // outbound copies would measure the client, not the link.
    const int rc =
        RunHelper(smbnetfs, {WithoutSlash(l.mount), "-o", "big_writes"}, l.log, l.home, 20000);
    if (rc != 0 || !IsMounted(l.mount)) {
        // What smbnetfs and its client library say may quote the server: shown, never acted on.
        const std::string said = PrintableText(LastLineOf(l.log));
        throw RuntimeError(kErrPathFileAccess, "smbnetfs could not mount " + ShareText(target) +
                                                   (said.empty() ? std::string() : ": " + said));
    }
    emergency.processGroup = fs::DaemonProcessGroup(emergency.mount);
    SetEmergencyMount(emergency);
    CheckShare(l, target);
    return mapping;
}

}  // namespace wirepace::platform
