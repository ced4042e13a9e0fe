// SPDX-License-Identifier: MIT
#include "core/work_files.h"

#include "common/drone_protocol.h"
#include "common/error.h"
#include "core/connection_settings.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

[[noreturn]] void CannotRemove(const std::string& path, const RuntimeError& e) {
    throw RuntimeError(e.Number(), "Cannot remove " + path + ": " + e.Description()).WithPath(path);
}

template <typename IsOurs>
void Sweep(const std::string& folder, IsOurs isOurs, bool refuseLinks) {
    for (const std::string& name : platform::FolderEntries(folder)) {
        if (!isOurs(name)) continue;
        const std::string path = folder + name;
        const platform::EntryKind kind = platform::KindOf(path);
        if (kind == platform::EntryKind::Missing) continue;
        if (kind == platform::EntryKind::Other ||
            (kind == platform::EntryKind::Link && refuseLinks))
            throw RuntimeError(kErrPathFileAccess,
                               path +
                                   " is a symbolic link or not a plain file, but has the name "
                                   "of a work file of this program; remove or rename it")
                .WithPath(path);
        try {
            platform::RemoveFile(path);
        } catch (const RuntimeError& e) {
            if (e.Number() != kErrFileNotFound) CannotRemove(path, e);
        }
    }
}

}  // namespace

void SweepWorkRoot(const std::string& workRoot) {
    Sweep(
        workRoot, [](const std::string& name) { return IsWorkRootFileName(name); }, false);
}

void SweepTarget(const std::string& dir) {
    // Every size of every table: a run of another type may have left its files.
    std::vector<std::string> sizes;
    for (const char* type : {kLanType, kWanType})
        for (const SpeedRow& row : SpeedRowsFor(type)) {
            sizes.emplace_back(row.smallKB);
            sizes.emplace_back(row.largeKB);
        }
    Sweep(
        dir, [&](const std::string& name) { return IsTargetFileName(name, sizes); }, true);
}

std::vector<std::string> RunFilePaths(const BenchmarkState& state, int speedIndex,
                                      const std::string& dir) {
    std::vector<std::string> paths;
    const auto index = static_cast<std::size_t>(speedIndex);
    if (speedIndex < 0 || index >= state.SmallSizesKB.size() || index >= state.LargeSizesKB.size())
        return paths;
    const std::string small = "Test" + state.SmallSizesKB[index] + ".jnk";
    const std::string large = "Test" + state.LargeSizesKB[index] + ".jnk";
    const std::string& root = state.AppDrive;
    for (const std::string& name : {small, large}) {
        paths.push_back(root + name);
        paths.push_back(dir + name);
    }
    for (int n = 1; n <= kMaxDrones; ++n) {
        const std::string work = WorkFileName(n, large);
        paths.push_back(root + work);
        paths.push_back(dir + work);
        paths.push_back(root + DroneFileName(n));
        paths.push_back(root + ResultFileName(work));
        paths.push_back(root + ErrorFileName(work));
    }
    paths.push_back(root + kReleaseFile);
    paths.push_back(root + kStopFile);
    return paths;
}

}  // namespace wirepace
