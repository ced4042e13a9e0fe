// SPDX-License-Identifier: MIT
#include "core/target_lock.h"

#include <charconv>
#include <sstream>

#include "common/error.h"
#include "common/printable_text.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

struct Holder {
    std::string host;
    int pid = 0;
};

Holder ReadHolder(const std::string& path) {
    Holder holder;
    std::istringstream line(platform::ReadFirstLine(path));
    line >> holder.host >> holder.pid;
    return holder;
}

bool IsStale(const std::string& path, const Holder& holder) {
    if (holder.host == platform::HostName()) return !platform::ProcessAlive(holder.pid);
    return platform::FileAgeSeconds(path) > kStaleLockSeconds;
}

}  // namespace

std::unique_ptr<TargetLock> TargetLock::Take(const std::string& dir) {
    const std::string path = dir + kTargetLockFile;
    const std::string me =
        platform::HostName() + " " + std::to_string(platform::CurrentProcessId()) + "\r\n";
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (platform::CreateExclusiveFile(path, me))
            return std::unique_ptr<TargetLock>(new TargetLock(path));
        if (platform::KindOf(path) != platform::EntryKind::File)
            throw RuntimeError(kErrPathFileAccess,
                               path + " is a symbolic link or not a plain file; remove it")
                .WithPath(path);
        Holder holder;
        try {
            holder = ReadHolder(path);
        } catch (const RuntimeError&) {
            continue;  // removed meanwhile: try again
        }
        if (!IsStale(path, holder))
            throw RuntimeError(
                kErrPathFileAccess,
                "Another run is testing this folder: " + path + " is held by " +
                    // Written by whoever can write the target: shown, never acted on.
                    (holder.host.empty() ? std::string("an unknown machine")
                                         : PrintableText(holder.host)) +
                    " (process " + std::to_string(holder.pid) +
                    "); delete it if no run is in progress there")
                .WithPath(path);
        try {
            platform::RemoveFile(path);
        } catch (const RuntimeError& e) {
            if (e.Number() != kErrFileNotFound) throw;
        }
    }
    throw RuntimeError(kErrPathFileAccess, "Could not take the lock " + path).WithPath(path);
}

TargetLock::~TargetLock() {
    try {
        platform::RemoveFile(path_);
    } catch (const RuntimeError&) {
        // Gone already, or the target went away: nothing left to release.
    }
}

void TargetLock::Refresh() {
    try {
        platform::TouchFile(path_);
    } catch (const RuntimeError&) {
        // A lost refresh only shortens how long others wait; the run itself is not at stake.
    }
}

}  // namespace wirepace
