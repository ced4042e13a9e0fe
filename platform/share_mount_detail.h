// SPDX-License-Identifier: MIT
// The testable pieces of the share mapping: the smbnetfs configuration written on POSIX, and
// the networking calls of the Windows mapping, which the Windows tests replace.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace wirepace::platform::smbnetfs {

// Where the mapping of a run lives under the work root: the private folder (0700), the
// configuration folder smbnetfs reads as its home, the credentials file (0600) and the mount.
struct Layout {
    std::string folder;  // workRoot & "share/"
    std::string home;    // folder & "home/"; smbnetfs reads home & ".smb/"
    std::string configDir;
    std::string config;   // configDir & "smbnetfs.conf"
    std::string smbConf;  // configDir & "smb.conf" (the client library's own settings)
    std::string log;      // folder & "smbnetfs.log": what smbnetfs said while mounting
    std::string mount;    // folder & "mnt/"; the share is mount & server & "/" & share
};
Layout LayoutFor(const std::string& workRoot);

// One field of smbnetfs's configuration: in double quotes, with "\" and the quote escaped.
std::string Quote(const std::string& text);

// The account as smbnetfs names it: a Windows domain form "CORP\jo" becomes "CORP/jo".
std::string Account(const std::string& user);

// The whole configuration for one share and account. Raises RuntimeError with a clear
// description for what smbnetfs cannot take: control characters, a "/" inside the user or
// domain name, a line longer than smbnetfs reads.
std::string ConfigText(const ShareTarget& target, const std::string& user,
                       const std::string& password);

// The longest line smbnetfs reads from its configuration (its buffer holds 200 bytes).
inline constexpr std::size_t kMaxLine = 199;

// The process group of the smbnetfs daemon that serves `mount` (no trailing separator) for this
// user: the daemon detaches itself (setsid) and leads its own process group, which its helper
// processes share. 0 when none is found (no /proc, or it has ended).
int DaemonProcessGroup(const std::string& mount);

}  // namespace wirepace::platform::smbnetfs

namespace wirepace::platform::winnet {

// The two networking calls the Windows mapping makes, with the arguments already converted:
// the local drive ("E:"), the remote name (\\server\share), the account and the password
// (null pointers when not given). They return a system error code, 0 on success. The tests
// replace them; the real ones are WNetAddConnection2W and WNetCancelConnection2W.
struct Calls {
    std::function<unsigned long(const wchar_t* local, const wchar_t* remote, const wchar_t* user,
                                const wchar_t* password)>
        add;
    std::function<unsigned long(const wchar_t* local, bool force)> cancel;
};
Calls& Network();

// The system's text for an error code, without its line end ("Network error N" when the
// system has none).
std::string SystemMessage(unsigned long code);

}  // namespace wirepace::platform::winnet
