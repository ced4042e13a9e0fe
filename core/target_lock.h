// SPDX-License-Identifier: MIT
// A run's claim on its target folder, so that two workstations testing the same folder do not
// delete each other's files.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace wirepace {

namespace platform {
class FolderHandle;
}

inline constexpr const char* kTargetLockFile = "wirepace-run.lock";

// A lock nobody has refreshed for this long belongs to a run that died on another machine.
inline constexpr double kStaleLockSeconds = 3600;

class TargetLock {
  public:
    // Takes the lock file in `dir` (which ends in a separator). A lock left by a dead run of this
    // machine, or not refreshed for kStaleLockSeconds, is taken over; one held by a live run
    // raises an error that names the lock and its holder.
    // With `folder` (`dir` as the run opened it), the lock is removed through it at the end.
    static std::unique_ptr<TargetLock> Take(
        const std::string& dir, std::shared_ptr<const platform::FolderHandle> folder = nullptr);

    ~TargetLock();
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;

    // Shows the run is alive to controllers on other machines.
    void Refresh();
    const std::string& Path() const { return path_; }

  private:
    TargetLock(std::string path, std::shared_ptr<const platform::FolderHandle> folder)
        : path_(std::move(path)), folder_(std::move(folder)) {}
    std::string path_;
    std::shared_ptr<const platform::FolderHandle> folder_;
};

// Tests only: called after a lock was judged stale and before it is taken over, so a test can
// let a second run judge it too. Null for none.
void SetStaleLockHookForTests(std::function<void()> hook);

}  // namespace wirepace
