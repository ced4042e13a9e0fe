// SPDX-License-Identifier: MIT
// The files and processes an emergency exit removes, in storage a signal handler may read.
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

}  // namespace

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
}

}  // namespace wirepace::platform
