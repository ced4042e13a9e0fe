// SPDX-License-Identifier: MIT
// Paths and folders on POSIX: the program's own file, the work root and the log folder under
// the XDG base folders, and how a path is written.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace wirepace::platform {

namespace fs = std::filesystem;
using posix::ParentOf;
using posix::WithSeparator;

namespace {

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

// Makes `folder` with mode 0700 unless something of that name is there (which the caller then
// checks): a folder that exists but cannot be written in is no error here.
void MakeIfMissing(const std::string& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0) return;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) RaiseFileError(errno, folder);
}

// Why `folder` may not lie on the way to our own folders, or "" when it may. Whoever can rename
// or replace a folder on the way can redirect every file written below it, so:
// - The base ($XDG_CACHE_HOME or $XDG_DATA_HOME when set, otherwise $HOME) must be owned by the
//   user or root and writable by nobody else, sticky or not: with HOME=/tmp anyone could have
//   made /tmp/.cache first. Folders above the base are the user's choice and are not looked at,
//   so a base made with mkdtemp under /tmp is fine.
// - Each folder between the base and ours must be owned by the user or root and writable by
//   nobody else, unless it is sticky (others cannot then move or remove what is ours in it).
// - "Nobody else" takes in the group unless it is the user's own group.
// - Links on the way are followed and what they lead to is checked; our own folder, the last,
//   is no link, the user's and mode 0700 (MakePrivateFolder).
std::string Refusal(const std::string& folder, const char* setBy, bool isBase) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) RaiseFileError(errno, folder);
    const std::string name =
        "The folder " + folder + (isBase ? std::string(" (") + setBy + ")" : std::string());
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return name + " belongs to " + UserName(st.st_uid) + ", not to " + UserName(::geteuid());
    const bool othersWrite =
        (st.st_mode & S_IWOTH) || ((st.st_mode & S_IWGRP) && st.st_gid != ::getegid());
    if (othersWrite && (isBase || !(st.st_mode & S_ISVTX)))
        return name + " can be written by other users";
    return {};
}

// Makes `folder` if it is missing (mode 0700), then refuses it when Refusal says so.
void CheckOnTheWay(const std::string& folder, const char* setBy, const char* variable,
                   bool isBase) {
    MakeIfMissing(folder);
    struct stat st {};
    const bool isFolder = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (const std::string why = Refusal(folder, setBy, isBase); !why.empty())
        throw RuntimeError(
            isFolder ? kErrPermissionDenied : kErrPathFileAccess,
            why + ": refusing to keep files under it. Set " + variable + " to a folder of your own")
            .WithPath(folder);
}

// This program's private folder under an XDG base directory, every folder on the way checked
// (see Refusal). A missing base set through the environment is made with its parents, as
// "mkdir -p" would; the home must exist.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
    std::string base;
    const char* setBy = variable;
    std::vector<std::string> below;
    if (auto value = GetEnv(variable); value && !value->empty() && (*value)[0] == '/') {
        base = *value;
        for (std::string::size_type at = 1; (at = base.find('/', at)) != std::string::npos; ++at)
            MakeIfMissing(base.substr(0, at));
    } else {
        base = HomeFolder();
        setBy = "HOME";
        std::istringstream names(fallbackUnderHome);
        for (std::string name; std::getline(names, name, '/');) below.push_back(name);
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    struct stat st {};
    if (std::string(setBy) == "HOME" && ::stat(base.c_str(), &st) != 0)
        throw RuntimeError(kErrPathNotFound, "The home folder " + base + " cannot be used (" +
                                                 std::strerror(errno) + "). Set " + variable +
                                                 " to a folder of your own")
            .WithPath(base);
    CheckOnTheWay(base, setBy, variable, true);
    std::string folder = base;
    for (const auto& name : below) {
        folder = WithSeparator(folder) + name;
        CheckOnTheWay(folder, setBy, variable, false);
    }
    folder = WithSeparator(folder) + "wirepace";
    MakePrivateFolder(folder, variable);
    return folder + "/";
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

std::string UserSettingsLocation() {
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "settings.json";
}

bool ProgramRunsFromShare() {
    return false;
}

std::optional<std::string> GetEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
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

}  // namespace wirepace::platform
