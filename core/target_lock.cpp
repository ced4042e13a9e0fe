// SPDX-License-Identifier: MIT
#include "core/target_lock.h"

#include <atomic>
#include <charconv>
#include <sstream>

#include "common/error.h"
#include "common/printable_text.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

struct Holder {
    std::string line;  // the lock's first line as read, to know it again
    std::string host;
    int pid = 0;
};

Holder ReadHolder(const std::string& path) {
    Holder holder;
    holder.line = platform::ReadFirstLine(path);
    std::istringstream line(holder.line);
    line >> holder.host >> holder.pid;
    return holder;
}

std::function<void()> gStaleLockHook;

bool IsStale(const std::string& path, const Holder& holder) {
    if (holder.host == platform::HostName()) return !platform::ProcessAlive(holder.pid);
    return platform::FileAgeSeconds(path) > kStaleLockSeconds;
}

// Moves the lock judged stale out of the way under a name no other run uses, then removes it.
// Removing it by its own name would not do: of two runs that judged the same lock stale, the
// second would remove the lock the first had made meanwhile, and both would run. Only one
// rename of the one file can succeed; the other run finds it gone and then meets the lock the
// first one makes. Should the moved file not be the one judged (another run took that over
// and made its own before this rename), it goes back.
void TakeOver(const std::string& path, const Holder& judged) {
    static std::atomic<unsigned> taken{0};
    const std::string aside = path + "." + platform::HostName() + "-" +
                              std::to_string(platform::CurrentProcessId()) + "-" +
                              std::to_string(++taken) + ".stale";
    try {
        platform::RenameFile(path, aside);
    } catch (const RuntimeError& e) {
        if (e.Number() == kErrFileNotFound) return;  // another run moved it first
        throw;
    }
    std::string moved;
    try {
        moved = platform::ReadFirstLine(aside);
    } catch (const RuntimeError&) {
        // Unreadable now: it cannot be told from the one judged, so it is not put back.
        moved = judged.line;
    }
    if (moved != judged.line) {
        try {
            platform::RenameFile(aside, path);
            return;
        } catch (const RuntimeError&) {
            // A third run made a lock meanwhile; that one holds the folder now.
        }
    }
    platform::RemoveFile(aside);
}

}  // namespace

void SetStaleLockHookForTests(std::function<void()> hook) {
    gStaleLockHook = std::move(hook);
}

std::unique_ptr<TargetLock> TargetLock::Take(const std::string& dir,
                                             std::shared_ptr<const platform::FolderHandle> folder) {
    const std::string path = dir + kTargetLockFile;
    const std::string me =
        platform::HostName() + " " + std::to_string(platform::CurrentProcessId()) + "\r\n";
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (platform::CreateExclusiveFile(path, me))
            return std::unique_ptr<TargetLock>(new TargetLock(path, std::move(folder)));
        const platform::EntryKind kind = platform::KindOf(path);
        if (kind == platform::EntryKind::Missing) continue;  // released meanwhile: try again
        if (kind != platform::EntryKind::File)
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
        if (gStaleLockHook) gStaleLockHook();
        TakeOver(path, holder);
    }
    throw RuntimeError(kErrPathFileAccess, "Could not take the lock " + path).WithPath(path);
}

TargetLock::~TargetLock() {
    try {
        // Through the folder the lock was made in, wherever its path leads now.
        if (folder_)
            folder_->Remove(kTargetLockFile);
        else
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
