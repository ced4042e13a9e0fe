// SPDX-License-Identifier: MIT
#include "core/drone_fleet.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/error.h"
#include "common/file_exists.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/share_connection.h"
#include "core/work_files.h"

namespace wirepace {

namespace {

// A drone released by the stop file ends at once; one still copying is given this long before
// it is ended, so that deleting its files does not race its last writes.
constexpr double kDroneEndWaitMs = 2000;

// How often the wait for drones reads their progress files.
constexpr double kProgressLookEveryMs = 50;
// How often it looks for their result files and ends. The drones time themselves, so this only
// decides how soon the run goes on; looking every millisecond cost 4 % of a core for 5 drones.
constexpr auto kDroneLookEvery = std::chrono::milliseconds(10);

std::string ResultPath(const RunContext& state, int n) {
    return state.AppDrive + ResultFileName(WorkFileName(n, state.LargeTestFile));
}

std::string ErrorPath(const RunContext& state, int n) {
    return state.AppDrive + ErrorFileName(WorkFileName(n, state.LargeTestFile));
}

void DeleteIfPresent(const std::string& path) {
    if (platform::KindOf(path) != platform::EntryKind::Missing) platform::RemoveFile(path);
}

DroneSlot& Slot(DroneFleet& fleet, int n) {
    return fleet.drones[static_cast<std::size_t>(n - 1)];
}

// A drone that has ended without its result file will never report: its error file says why.
// The result file is tested again after the end was seen, because a drone writes it before it
// ends.
void CheckStillReporting(const RunContext& state, DroneFleet& fleet, int n) {
    const auto& process = Slot(fleet, n).process;
    if (!process || !process->HasEnded()) return;
    if (FileExists(ResultPath(state, n))) return;
    const std::string prefix = "Drone " + std::to_string(n) + ": ";
    const std::string errorFile = ErrorPath(state, n);
    if (platform::KindOf(errorFile) == platform::EntryKind::File) {
        const auto error = ParseErrorLine(platform::ReadFirstLine(errorFile));
        platform::RemoveFile(errorFile);
        if (error) throw RuntimeError(error->number, prefix + error->description);
    }
    throw RuntimeError(kErrPathFileAccess,
                       "Drone " + std::to_string(n) + " ended without reporting a time");
}

// Progress of one drone's copy, as its progress file tells it.
struct Progress {
    std::int64_t bytes = -2;
    double since = 0;
};

// The bytes drone n says it has copied, -1 before it has said anything.
std::int64_t ReportedBytes(const RunContext& state, int n) {
    const std::string path =
        state.AppDrive + ProgressFileName(WorkFileName(n, state.LargeTestFile));
    try {
        if (platform::KindOf(path) != platform::EntryKind::File) return -1;
        return ParseProgressLine(platform::ReadFirstLine(path) + "\r").value_or(-1);
    } catch (const RuntimeError&) {
        return -1;  // being rewritten just now
    }
}

void CheckProgress(DroneFleet& fleet, int n, std::int64_t bytes, Progress& progress, double now,
                   double limitMs, const std::function<void()>& onStall) {
    const DroneSlot& slot = Slot(fleet, n);
    if (bytes != progress.bytes) {
        progress = {bytes, now};
        return;
    }
    // A copy at its full length is being flushed or closed. That is the link's time too, but a
    // flush that takes the whole bound is as stuck as a copy: a share that stops answering then
    // would hold the wait for ever.
    if (now - progress.since < limitMs) return;
    if (onStall) onStall();
    throw RuntimeError(kErrPathFileAccess, "Drone " + std::to_string(n) + " made no progress for " +
                                               NumberToText(limitMs / 1000) + " s copying to " +
                                               slot.target + ": the target stopped answering")
        .WithPath(slot.target);
}

// Returns the drones that could not be ended: a process asleep in a call on a share that stopped
// answering takes no signal until the share answers again.
std::string StopDrones(const RunContext& state, DroneFleet& fleet) {
    // The stop file first: every drone the release file lets go then finds it and ends
    // without copying. Not where the work root's path leads another folder now: the drones
    // are ended below all the same.
    if (!state.WorkRootFolder || state.WorkRootFolder->StillAtItsPath()) {
        platform::CreateEmptyFile(state.AppDrive + kStopFile);
        platform::CreateEmptyFile(state.AppDrive + kReleaseFile);
    }
    const auto left = [](double deadline) {
        const double ms = deadline - TickMs();
        return ms > 0 ? static_cast<int>(ms) : 0;
    };
    const double deadline = TickMs() + kDroneEndWaitMs;
    for (auto& slot : fleet.drones) {
        // Still copying (or stopped, or stuck on a share): it must not outlive the run.
        if (slot.process && !slot.process->WaitForEnd(left(deadline))) slot.process->Terminate();
    }
    // One wait for all that were ended, so a fleet stuck on a share costs it once.
    const double ended = TickMs() + kDroneEndWaitMs;
    std::string stuck;
    for (std::size_t k = 0; k < fleet.drones.size(); ++k) {
        const auto& process = fleet.drones[k].process;
        if (!process || process->WaitForEnd(left(ended))) continue;
        stuck += (stuck.empty() ? "" : ", ") + std::to_string(k + 1) + " (process " +
                 std::to_string(process->Id()) + ")";
    }
    return stuck;
}

}  // namespace

void WriteDrone(const RunContext& state, const std::string& name) {
    const DroneImage image = EmbeddedDroneImage();
    platform::WriteProgramImage(state.AppDrive + name, image.bytes, image.size);
}

void StartDrone(const RunContext& state, DroneFleet& fleet, int n, DroneDirection direction,
                const std::string& dir, const std::string& file,
                std::optional<std::int64_t> sourceBytes) {
    if (n < 1 || n > kMaxDrones) throw RuntimeError(kErrSubscriptOutOfRange);
    DeleteIfPresent(state.AppDrive + ResultFileName(file));
    DeleteIfPresent(state.AppDrive + ErrorFileName(file));
    DeleteIfPresent(state.AppDrive + ProgressFileName(file));
    DroneSlot& slot = Slot(fleet, n);
    const CopyPaths paths = CopyPathsFor(state.AppDrive, direction, dir, file);
    slot.target = paths.target;
    if (sourceBytes) {
        slot.expectedBytes = *sourceBytes;
    } else {
        try {
            slot.expectedBytes = platform::FileLength(paths.source);
        } catch (const RuntimeError&) {
            slot.expectedBytes = -1;  // the drone reports the missing source itself
        }
    }
    slot.process = platform::StartProgram(state.AppDrive + DroneFileName(n),
                                          DroneArgumentText(direction, dir, file),
                                          platform::WindowStyle::NormalFocus);
    platform::AddEmergencyProcess(slot.process->Id());
}

std::vector<double> CollectDroneTimes(const RunContext& state, DroneFleet& fleet, int droneCount,
                                      int testIndex, const DroneWait& wait) {
    if (droneCount < 0 || droneCount > kMaxDrones) throw RuntimeError(kErrSubscriptOutOfRange);

    const std::string release = state.AppDrive + kReleaseFile;
    // Whole when it appears: a drone reads it as soon as it sees it.
    if (wait.firstPieceBytes > 0)
        platform::ReplaceFileWhole(release, ReleaseLine(wait.firstPieceBytes));
    else
        platform::CreateEmptyFile(release);
    if (wait.onRelease) wait.onRelease();

    const int awaited = testIndex == 6 ? 2 : kMaxDrones;
    std::array<Progress, kMaxDrones> progress{};
    // The drones' progress files lie in the local work root, never on the target: a look costs
    // the link nothing. A few looks a second follow the drones' own rewrites.
    double lastProgressCheck = TickMs();
    std::vector<std::int64_t> bytes(static_cast<std::size_t>(awaited), 0);
    for (;;) {
        PumpEvents();
        if (wait.stopRequested && wait.stopRequested()) throw RunInterrupted();
        const double now = TickMs();
        const bool lookAtProgress = now - lastProgressCheck >= kProgressLookEveryMs;
        if (lookAtProgress) lastProgressCheck = now;
        bool all = true;
        for (int n = 1; n <= awaited; ++n) {
            const auto k = static_cast<std::size_t>(n - 1);
            const bool done = FileExists(ResultPath(state, n));
            if (lookAtProgress) {
                const std::int64_t reported = ReportedBytes(state, n);
                if (reported >= 0) bytes[k] = reported;
                if (!done)
                    CheckProgress(fleet, n, reported, progress[k], now, wait.stallLimitMs,
                                  wait.onStall);
            }
            if (done) continue;
            all = false;
            CheckStillReporting(state, fleet, n);
        }
        if (lookAtProgress && wait.onProgress) wait.onProgress(bytes);
        if (all) break;
        std::this_thread::sleep_for(kDroneLookEvery);
    }
    // Every awaited drone has reported: its whole file is copied, whatever its last rewrite of
    // the progress file said.
    for (int n = 1; n <= awaited; ++n) {
        const DroneSlot& slot = Slot(fleet, n);
        if (slot.expectedBytes >= 0) bytes[static_cast<std::size_t>(n - 1)] = slot.expectedBytes;
    }
    if (wait.onProgress) wait.onProgress(bytes);

    platform::RemoveFile(release);
    Pause(0.5);  // the drones finish writing and closing their result files

    std::vector<double> times;
    for (int n = 1; n <= droneCount; ++n) {
        const std::string path = ResultPath(state, n);
        const std::string line = platform::ReadFirstLine(path);
        platform::RemoveFile(path);
        DeleteIfPresent(state.AppDrive + ProgressFileName(WorkFileName(n, state.LargeTestFile)));
        Pause(0.1);
        const auto ms = ParseResultFileLine(line);
        if (!ms) throw RuntimeError(kErrTypeMismatch);
        times.push_back(*ms);
    }
    return times;
}

std::optional<RuntimeError> TerminateDrones(const RunContext& state, DroneFleet& fleet,
                                            const std::string& targetDir) {
    std::optional<RuntimeError> failure;
    try {
        const std::string stuck = StopDrones(state, fleet);
        // Through the folders the run opened, where it opened them.
        if (state.WorkRootFolder)
            SweepWorkRoot(*state.WorkRootFolder);
        else
            SweepWorkRoot(state.AppDrive);
        if (!stuck.empty()) {
            const bool one = stuck.find(',') == std::string::npos;
            failure =
                RuntimeError(kErrPathFileAccess,
                             (one ? "Drone " : "Drones ") + stuck +
                                 " could not be ended: stuck in a request to the target; " +
                                 (one ? "it ends" : "they end") + " when the target answers again");
        }
        if (!targetDir.empty()) {
            if (state.TargetFolder)
                SweepTarget(*state.TargetFolder);
            else
                SweepTarget(targetDir);
        }
    } catch (const RuntimeError& e) {
        failure = e;
    } catch (const std::exception& e) {
        failure = RuntimeError(kErrInternal, e.what());
    }
    for (auto& slot : fleet.drones) slot = DroneSlot{};
    return failure;
}

}  // namespace wirepace
