// SPDX-License-Identifier: MIT
// The two operations of an emergency exit on POSIX, both async-signal-safe.
#include <signal.h>
#include <unistd.h>

#include "platform/platform_emergency.h"

namespace wirepace::platform {

namespace detail {

void KillProcessNow(int id) noexcept {
    if (id > 0) ::kill(static_cast<pid_t>(id), SIGKILL);
}

void RemoveFileNow(const char* utf8Path) noexcept {
    ::unlink(utf8Path);
}

}  // namespace detail

}  // namespace wirepace::platform
