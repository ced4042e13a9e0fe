// SPDX-License-Identifier: MIT
// Inside the platform layer: the operations an emergency exit needs, safe inside a signal
// handler on POSIX, and the share mount it must take down.
#pragma once

#include <string>

namespace wirepace::platform {

// The share mount of a run as the emergency cleanup takes it down: the credentials file is
// removed, the mount detached with `unmounter` (fusermount) and the file system's daemon ended
// with its process group (0 while it is not known).
struct EmergencyMount {
    std::string credentials;
    std::string mount;  // without a trailing separator
    std::string unmounter;
    int processGroup = 0;
};
// Registers the mount (replacing one registered before); paths too long for the fixed storage
// are left out. Cleared when the mapping is removed.
void SetEmergencyMount(const EmergencyMount& mount);
void ClearEmergencyMount();

namespace detail {

void KillProcessNow(int id) noexcept;
void RemoveFileNow(const char* utf8Path) noexcept;
// Runs `work` where a call that sleeps for good on a target that stopped answering cannot hold
// the caller: in a child process on POSIX, waited for `ms` milliseconds at most and then left
// (it ends when the target answers, or when the mount's daemon is ended). Inline on Windows.
void RunBoundedNow(void (*work)() noexcept, int ms) noexcept;
// Ends every process of a group at once.
void KillProcessGroupNow(int group) noexcept;
// Detaches the mount on `mountPath` at once, even while it is in use or its daemon is gone:
// with `unmounter` ("-u -z"), which a user may run on a mount of their own, else with the
// system call. Waits for the helper about two seconds at most.
void UnmountNow(const char* mountPath, const char* unmounter) noexcept;

}  // namespace detail

}  // namespace wirepace::platform
