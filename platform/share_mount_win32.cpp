// SPDX-License-Identifier: MIT
// Share paths on Windows: the share is connected to a free drive letter with the networking
// API, so the password is on no command line and the outcome is known at once. The tests keep
// addressing the share by its path; the connection carries the account.
#include <windows.h>
#include <winnetwk.h>

#include <string>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"
#include "platform/share_mount_detail.h"

namespace wirepace::platform {

namespace winnet {

Calls& Network() {
    static Calls calls{[](const wchar_t* local, const wchar_t* remote, const wchar_t* user,
                          const wchar_t* password) -> unsigned long {
                           NETRESOURCEW resource{};
                           resource.dwType = RESOURCETYPE_DISK;
                           resource.lpLocalName = const_cast<wchar_t*>(local);
                           resource.lpRemoteName = const_cast<wchar_t*>(remote);
                           // Not remembered: the mapping lives for this run only.
                           return ::WNetAddConnection2W(&resource, password, user, 0);
                       },
                       [](const wchar_t* local, bool force) -> unsigned long {
                           return ::WNetCancelConnection2W(local, 0, force ? TRUE : FALSE);
                       }};
    return calls;
}

std::string SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n > 0 && buffer) text.assign(buffer, n);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return "Network error " + std::to_string(code);
    return win32::Narrow(text);
}

}  // namespace winnet

namespace {

// The provider's own text when the system only says "an extended error has occurred".
std::string ErrorText(unsigned long code) {
    if (code == ERROR_EXTENDED_ERROR) {
        DWORD providerCode = 0;
        wchar_t description[512] = {};
        wchar_t provider[256] = {};
        if (::WNetGetLastErrorW(&providerCode, description, 512, provider, 256) == NO_ERROR &&
            description[0])
            return win32::Narrow(description);
    }
    return winnet::SystemMessage(code);
}

class DriveMapping : public ShareMapping {
  public:
    explicit DriveMapping(std::string drive) : drive_(std::move(drive)) {}
    ~DriveMapping() override {
        try {
            Unmap();
        } catch (...) {
        }
    }
    std::string LocalPath(const std::string& sharePath) const override {
        return NormaliseSeparators(sharePath);
    }
    void Unmap() override {
        if (done_) return;
        done_ = true;
        // Forced: a drone that has not let go of a file must not keep the account's
        // connection open after the run.
        const unsigned long rc = winnet::Network().cancel(win32::Widen(drive_).c_str(), true);
        if (rc != NO_ERROR && rc != ERROR_NOT_CONNECTED)
            throw RuntimeError(static_cast<int>(rc), ErrorText(rc));
    }

  private:
    std::string drive_;
    bool done_ = false;
};

}  // namespace

bool SharesMapToDriveLetters() {
    return true;
}

void RemoveStaleShareMapping(const std::string&) {
    // A connection of a run that was killed ends with its logon session; it holds no file.
}

std::unique_ptr<ShareMapping> MapShare(const ShareTarget& target, const std::string& drive,
                                       const std::string& user, const std::string& password,
                                       const std::string&) {
    const std::wstring local = win32::Widen(drive);
    // The connection is to the share itself; a folder below it is reached by its path.
    const std::wstring remote = win32::Widen("\\\\" + target.server + "\\" + target.share);
    const std::wstring wideUser = win32::Widen(user);
    const std::wstring widePassword = win32::Widen(password);
    // No account: the user's own logon; an account with an empty password is passed as such.
    const bool anyAccount = !user.empty() || !password.empty();
    const unsigned long rc = winnet::Network().add(local.c_str(), remote.c_str(),
                                                   user.empty() ? nullptr : wideUser.c_str(),
                                                   anyAccount ? widePassword.c_str() : nullptr);
    if (rc != NO_ERROR) throw RuntimeError(static_cast<int>(rc), ErrorText(rc));
    return std::make_unique<DriveMapping>(drive);
}

}  // namespace wirepace::platform
