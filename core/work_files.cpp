// SPDX-License-Identifier: MIT
#include "core/work_files.h"

#include <optional>

#include "common/drone_protocol.h"
#include "common/error.h"
#include "core/connection_settings.h"
#include "core/payload_files.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

RuntimeError CannotRemove(const std::string& path, const RuntimeError& e) {
    return RuntimeError(e.Number(), "Cannot remove " + path + ": " + e.Description())
        .WithPath(path);
}

// Removes what it can and then raises the first failure, saying how many more entries stayed:
// one entry that cannot go must not leave the others behind.
// Everything goes through the folder opened at the start of the run, never through its path:
// a path swapped for a link to another folder meanwhile cannot turn this on that folder.
template <typename IsOurs>
void Sweep(const platform::FolderHandle& folder, IsOurs isOurs, bool refuseLinks) {
    std::optional<RuntimeError> first;
    int more = 0;
    for (const std::string& name : folder.Entries()) {
        if (!isOurs(name)) continue;
        const std::string path = folder.Path() + name;
        const platform::EntryKind kind = folder.KindOf(name);
        if (kind == platform::EntryKind::Missing) continue;
        std::optional<RuntimeError> failure;
        if (kind == platform::EntryKind::Other ||
            (kind == platform::EntryKind::Link && refuseLinks)) {
            failure = RuntimeError(kErrPathFileAccess,
                                   path +
                                       " is a symbolic link or not a plain file, but has the name "
                                       "of a work file of this program; remove or rename it")
                          .WithPath(path);
        } else {
            try {
                folder.Remove(name);
            } catch (const RuntimeError& e) {
                if (e.Number() != kErrFileNotFound) failure = CannotRemove(path, e);
            }
        }
        if (!failure) continue;
        if (first)
            ++more;
        else
            first = failure;
    }
    if (!first) return;
    if (more == 0) throw *first;
    throw RuntimeError(first->Number(), first->Description() + " (and " + std::to_string(more) +
                                            " more of this program's files stayed in " +
                                            folder.Path() + ")")
        .WithPath(first->Path());
}

}  // namespace

void SweepWorkRoot(const platform::FolderHandle& workRoot) {
    Sweep(
        workRoot, [](const std::string& name) { return IsWorkRootFileName(name); }, false);
}

void SweepWorkRoot(const std::string& workRoot) {
    SweepWorkRoot(platform::FolderHandle(workRoot));
}

void SweepTarget(const std::string& dir) {
    SweepTarget(platform::FolderHandle(dir));
}

void SweepTarget(const platform::FolderHandle& dir) {
    // Every size of every table: a run of another type may have left its files.
    std::vector<std::string> sizes;
    for (const char* type : {kLanType, kWanType})
        for (const SpeedRow& row : SpeedRowsFor(type)) {
            sizes.push_back(std::to_string(row.smallKB));
            sizes.push_back(std::to_string(row.largeKB));
        }
    Sweep(
        dir, [&](const std::string& name) { return IsTargetFileName(name, sizes); }, true);
}

std::vector<std::string> RunFilePaths(const RunContext& state, std::int32_t smallKB,
                                      std::int32_t largeKB, const std::string& dir) {
    std::vector<std::string> paths;
    const std::string small = PayloadFileName(smallKB);
    const std::string large = PayloadFileName(largeKB);
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
        paths.push_back(root + ProgressFileName(work));
    }
    paths.push_back(root + kReleaseFile);
    paths.push_back(root + kStopFile);
    return paths;
}

}  // namespace wirepace
