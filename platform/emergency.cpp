// SPDX-License-Identifier: MIT
// The files, processes and share mount an emergency exit removes, in storage a signal handler
// may read.
#include <atomic>
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_emergency.h"

namespace wirepace::platform {

namespace {

constexpr std::size_t kMaxFiles = 48;
constexpr std::size_t kMaxPath = 4096;
constexpr std::size_t kMaxProcesses = 8;

char gFiles[kMaxFiles][kMaxPath];
std::atomic<std::size_t> gFileCount{0};
std::atomic<int> gProcesses[kMaxProcesses];
std::atomic<std::size_t> gProcessCount{0};

char gMountCredentials[kMaxPath];
char gMountPath[kMaxPath];
char gMountUnmounter[kMaxPath];
std::atomic<int> gMountGroup{0};
std::atomic<bool> gMountSet{false};

// Copies `text` into fixed storage; "" when it does not fit.
void Store(char (&into)[kMaxPath], const std::string& text) {
    const bool fits = text.size() < kMaxPath && text.find('\0') == std::string::npos;
    std::memcpy(into, fits ? text.c_str() : "", fits ? text.size() + 1 : 1);
}

void RemoveFilesNow() noexcept {
    const std::size_t files = gFileCount.load();
    for (std::size_t i = 0; i < files; ++i) detail::RemoveFileNow(gFiles[i]);
}

// Long enough for a live share to take a few deletions, short enough for a stuck one.
constexpr int kFilesWaitMs = 2000;

}  // namespace

void SetEmergencyMount(const EmergencyMount& mount) {
    gMountSet.store(false);
    Store(gMountCredentials, mount.credentials);
    Store(gMountPath, mount.mount);
    Store(gMountUnmounter, mount.unmounter);
    gMountGroup.store(mount.processGroup);
    gMountSet.store(true);
}

void ClearEmergencyMount() {
    gMountSet.store(false);
}

void SetEmergencyFiles(const std::vector<std::string>& paths) {
    // Hidden from a handler while the table is rewritten.
    gFileCount.store(0);
    std::size_t n = 0;
    for (const auto& path : paths) {
        if (n == kMaxFiles) break;
        if (path.empty() || path.size() >= kMaxPath) continue;
        std::memcpy(gFiles[n], path.c_str(), path.size() + 1);
        ++n;
    }
    gFileCount.store(n);
}

void AddEmergencyProcess(int id) {
    const std::size_t n = gProcessCount.load();
    if (n == kMaxProcesses) return;
    gProcesses[n].store(id);
    gProcessCount.store(n + 1);
}

void ClearEmergency() {
    gFileCount.store(0);
    gProcessCount.store(0);
}

void RunEmergencyCleanup() noexcept {
    const std::size_t processes = gProcessCount.load();
    for (std::size_t i = 0; i < processes; ++i) detail::KillProcessNow(gProcesses[i].load());
    // The credentials first, whatever becomes of the target and the mount.
    const bool mounted = gMountSet.load();
    if (mounted && gMountCredentials[0]) detail::RemoveFileNow(gMountCredentials);
    // The target may have stopped answering: a deletion there must not hold the exit.
    detail::RunBoundedNow(RemoveFilesNow, kFilesWaitMs);
    if (mounted) {
        // The daemon first: its mount then fails every request at once, so neither the unmount
        // nor a deletion still waiting for a server that stopped answering waits any longer.
        if (const int group = gMountGroup.load(); group > 0) detail::KillProcessGroupNow(group);
        if (gMountPath[0]) detail::UnmountNow(gMountPath, gMountUnmounter);
    }
}

}  // namespace wirepace::platform
