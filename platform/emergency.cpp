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
    const std::size_t files = gFileCount.load();
    for (std::size_t i = 0; i < files; ++i) detail::RemoveFileNow(gFiles[i]);
    if (gMountSet.load()) {
        // The credentials first, whatever becomes of the mount; the drones holding files on it
        // are gone already.
        if (gMountCredentials[0]) detail::RemoveFileNow(gMountCredentials);
        if (gMountPath[0]) detail::UnmountNow(gMountPath, gMountUnmounter);
        if (const int group = gMountGroup.load(); group > 0) detail::KillProcessGroupNow(group);
    }
}

}  // namespace wirepace::platform
