// SPDX-License-Identifier: MIT
#include "core/drone_fleet.h"

#include <exception>

#include "common/error.h"
#include "common/file_exists.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/share_connection.h"

namespace wirepace {

namespace {

// A drone released by the stop file ends at once; this only bounds the wait for one that is
// still copying, so that deleting its files does not race its last writes.
constexpr int kDroneEndWaitMs = 2000;

// An unexpected exception that carries no error number of its own ("Internal error").
constexpr int kErrInternal = 51;

std::string DroneNumber(int n) {
    return std::to_string(n);
}

std::string ResultFile(const BenchmarkState& state, int n) {
    return state.AppDrive + "TXT" + DroneNumber(n) + state.LargeTestFile;
}

void DeleteIfPresent(const std::string& path) {
    if (FileExists(path)) platform::DeleteFile(path);
}

// A drone whose process has ended and whose result file is still missing will never report:
// waiting on would hang the run. The file is tested again after the end was seen, because a
// drone writes its result file before it ends.
void CheckStillReporting(const BenchmarkState& state, DroneFleet& fleet, int n) {
    const auto& process = fleet.processes[static_cast<std::size_t>(n - 1)];
    if (!process || !process->HasEnded()) return;
    if (FileExists(ResultFile(state, n))) return;
    throw RuntimeError(kErrPathFileAccess,
                       "Drone " + DroneNumber(n) + " ended without reporting a time");
}

void StopAndClean(const BenchmarkState& state, MainWindowIO& window, DroneFleet& fleet) {
    // The stop file first: every drone the release file lets go then finds it and ends
    // without copying. Every other file of the controller is closed within its operation.
    platform::CreateEmptyFile(state.AppDrive + kStopFile);
    platform::CreateEmptyFile(state.AppDrive + kReleaseFile);

    // Names built from an empty file name or an empty target would be files the run never
    // made (or, for an empty target, names relative to the working folder): leave those alone.
    const bool haveLarge = !state.LargeTestFile.empty();
    const bool haveSmall = !state.SmallTestFile.empty();

    for (int n = 1; n <= kMaxDrones; ++n) {
        if (auto& process = fleet.processes[static_cast<std::size_t>(n - 1)]) {
            if (!process->HasEnded()) process->WaitForEnd(kDroneEndWaitMs);
        }
        const std::string number = DroneNumber(n);
        if (haveLarge) {
            DeleteIfPresent(state.AppDrive + number + state.LargeTestFile);
            const std::string dir = FilesDir(state, window.DirPath());
            if (!dir.empty()) DeleteIfPresent(dir + number + state.LargeTestFile);
        }
        DeleteIfPresent(state.AppDrive + "Drone" + number + ".exe");
        if (haveLarge) DeleteIfPresent(ResultFile(state, n));
    }

    if (haveSmall) {
        DeleteIfPresent(state.AppDrive + state.SmallTestFile);
        const std::string dir = FilesDir(state, window.DirPath());
        if (!dir.empty()) DeleteIfPresent(dir + state.SmallTestFile);
    }
    DeleteIfPresent(state.AppDrive + kStopFile);
    DeleteIfPresent(state.AppDrive + kReleaseFile);
}

}  // namespace

void WriteDrone(const BenchmarkState& state, const std::string& name) {
    const DroneImage image = EmbeddedDroneImage();
    platform::WriteProgramImage(state.AppDrive + name, image.bytes, image.size);
}

std::string DroneArgumentText(DroneMode mode, const std::string& dir, const std::string& file) {
    return std::string(mode == DroneMode::To ? "-TO" : "-FROM") + dir + "?" + file;
}

void StartDrone(const BenchmarkState& state, DroneFleet& fleet, int n, DroneMode mode,
                const std::string& dir, const std::string& file) {
    if (n < 1 || n > kMaxDrones) throw RuntimeError(kErrSubscriptOutOfRange);
    const std::string program = state.AppDrive + "Drone" + DroneNumber(n) + ".exe";
    fleet.processes[static_cast<std::size_t>(n - 1)] = platform::StartProgram(
        program, DroneArgumentText(mode, dir, file), platform::WindowStyle::NormalFocus);
}

double CollectDroneTimes(const BenchmarkState& state, DroneFleet& fleet, int droneCount,
                         int testIndex) {
    if (droneCount < 0 || droneCount > kMaxDrones) throw RuntimeError(kErrSubscriptOutOfRange);

    const std::string release = state.AppDrive + kReleaseFile;
    platform::CreateEmptyFile(release);

    const int awaited = testIndex == 6 ? 2 : kMaxDrones;
    for (;;) {
        PumpEvents();
        bool all = true;
        for (int n = 1; n <= awaited; ++n) {
            if (FileExists(ResultFile(state, n))) continue;
            all = false;
            CheckStillReporting(state, fleet, n);
        }
        if (all) break;
        YieldBriefly();
    }

    platform::DeleteFile(release);
    Pause(0.5);  // the drones finish writing and closing their result files

    std::array<std::string, kMaxDrones> lines;
    double sum = 0;
    for (int n = 1; n <= droneCount; ++n) {
        auto& line = lines[static_cast<std::size_t>(n - 1)];
        const std::string path = ResultFile(state, n);
        line = platform::ReadFirstLine(path);
        platform::DeleteFile(path);
        Pause(0.1);
        const auto ms = TextToNumber(line);
        if (!ms) throw RuntimeError(kErrTypeMismatch);
        sum += *ms;
    }
    return sum;
}

void TerminateDrones(const BenchmarkState& state, MainWindowIO& window, DroneFleet& fleet) {
    try {
        StopAndClean(state, window, fleet);
    } catch (const RuntimeError& e) {
        window.ShowMessage(e.Description() + " [" + std::to_string(e.Number()) + "]");
    } catch (const std::exception& e) {
        window.ShowMessage(std::string(e.what()) + " [" + std::to_string(kErrInternal) + "]");
    }
    // The run is over either way; a drone left running ends by itself once released.
    for (auto& process : fleet.processes) process.reset();
}

void RemoveStaleHandshakeFiles(const BenchmarkState& state) {
    DeleteIfPresent(state.AppDrive + kReleaseFile);
    DeleteIfPresent(state.AppDrive + kStopFile);
}

}  // namespace wirepace
