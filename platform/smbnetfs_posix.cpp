// SPDX-License-Identifier: MIT
// The smbnetfs pieces of a share mapping on POSIX: where its files lie, what its configuration
// says (pure, so the tests check it without a server), and which processes serve a mount.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"
#include "platform/share_mount_detail.h"

namespace wirepace::platform {

namespace smbnetfs {

Layout LayoutFor(const std::string& workRoot) {
    Layout l;
    l.folder = workRoot + "share/";
    l.home = l.folder + "home/";
    l.configDir = l.home + ".smb/";
    l.config = l.configDir + "smbnetfs.conf";
    l.smbConf = l.configDir + "smb.conf";
    l.log = l.folder + "smbnetfs.log";
    l.mount = l.folder + "mnt/";
    return l;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string Account(const std::string& user) {
    std::string out = user;
    const auto slash = out.find('\\');
    if (slash != std::string::npos) out[slash] = '/';
    return out;
}

namespace {

bool HasControl(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    return false;
}

}  // namespace

std::string ConfigText(const ShareTarget& target, const std::string& user,
                       const std::string& password) {
    if (HasControl(user) || HasControl(password))
        throw RuntimeError(kErrPathFileAccess,
                           "The account name or the password holds a control character, which a "
                           "share mapping cannot pass on");
    // Browsing the network for other machines only costs time here; hidden shares (C$) must
    // stay reachable by name.
    std::string text = "# One run's mapping of //" + target.server + "/" + target.share +
                       "; removed with the mount.\n"
                       "smb_query_browsers \"false\"\n"
                       "show_$_shares \"true\"\n"
                       "use_libsecret \"false\"\n";
    if (user.empty() && password.empty()) return text;  // the login name, no password
    if (user.empty())
        throw RuntimeError(kErrPathFileAccess,
                           "A password was given without an account name for the share");

    const std::string account = Account(user);
    const auto slash = account.find('/');
    const std::string name = slash == std::string::npos ? account : account.substr(slash + 1);
    if (account.empty() || slash == 0 || name.empty() || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos)
        throw RuntimeError(kErrPathFileAccess, "The account name \"" + user +
                                                   "\" is not a user name or DOMAIN\\user name");
    const std::string line = "auth " + Quote(target.server + "/" + target.share) + " " +
                             Quote(account) + " " + Quote(password);
    if (line.size() > kMaxLine)
        throw RuntimeError(kErrPathFileAccess,
                           "The server, share, account name and password are too long "
                           "together for smbnetfs, which reads " +
                               std::to_string(kMaxLine) + " characters of a configuration line");
    return text + line + "\n";
}

namespace {

// A file of /proc/PID, or what of it could be read: a process that ends between the listing
// and the read makes the read fail (ESRCH), which is no error of the caller's.
std::string ProcessFile(const std::filesystem::path& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    posix::ReadAll(fd, text);  // what was read before a failure is what there is
    ::close(fd);
    return text;
}

}  // namespace

int DaemonProcessGroup(const std::string& mount) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat owner {};
        if (::stat(entry.path().c_str(), &owner) != 0 || owner.st_uid != ::geteuid()) continue;
        const std::string text = ProcessFile(entry.path() / "cmdline");
        std::vector<std::string> argv;
        for (std::size_t at = 0; at < text.size();) {
            const auto end = text.find('\0', at);
            argv.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        if (argv.size() < 2 || argv[1] != mount) continue;
        const auto slash = argv[0].find_last_of('/');
        if (argv[0].substr(slash == std::string::npos ? 0 : slash + 1) != "smbnetfs") continue;
        // The daemon detaches itself (setsid) and leads its process group; its helpers share it.
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (::getsid(pid) == pid) return static_cast<int>(::getpgid(pid));
    }
    return 0;
}

}  // namespace smbnetfs

}  // namespace wirepace::platform
