// SPDX-License-Identifier: MIT
// Writing, starting, releasing and collecting the drones of the parallel tests.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/drone_protocol.h"
#include "common/error.h"
#include "core/catalogue.h"
#include "core/run_context.h"
#include "platform/platform.h"

namespace wirepace {

// One started drone: its process and the file it copies to, whose growth shows its progress.
struct DroneSlot {
    std::unique_ptr<platform::Process> process;
    std::string target;
    std::int64_t expectedBytes = -1;  // the source's length at the start, -1 when unknown
};

// The drones started in this run, slot n - 1 for drone n.
struct DroneFleet {
    std::array<DroneSlot, kMaxDrones> drones;
};

// The drone program image the controller carries.
struct DroneImage {
    const unsigned char* bytes;
    std::size_t size;
};
DroneImage EmbeddedDroneImage();

// Writes the drone image to AppDrive & name, fresh, byte for byte.
void WriteDrone(const RunContext& state, const std::string& name);

// Starts AppDrive & "Drone" & n & ".exe" with its argument text and keeps its process. A result,
// error or progress file of an earlier drone n is removed first: only this drone's report counts.
// `sourceBytes` is the length of the file it copies, when the caller knows it; otherwise the
// source is asked, which on the target is a request that can hang.
void StartDrone(const RunContext& state, DroneFleet& fleet, int n, DroneDirection direction,
                const std::string& dir, const std::string& file,
                std::optional<std::int64_t> sourceBytes = std::nullopt);

// How a wait for drones ends early: the user's stop, and a copy that makes no progress; and who
// is told the bytes each awaited drone has copied so far, a few times a second and once more
// when all have reported.
struct DroneWait {
    std::function<bool()> stopRequested;
    double stallLimitMs = 120'000;
    std::function<void(const std::vector<std::int64_t>& bytes)> onProgress;
    std::function<void()> onRelease;  // the drones have just been released
    std::function<void()> onStall;    // a copy made no progress for stallLimitMs
    // The length each drone's copy starts its pieces with (0: the drones' own), so that a stop
    // on a slow link does not wait for pieces sized for a fast one.
    std::int64_t firstPieceBytes = 0;
};

// Releases the started drones with one file, waits for the result files (drones 1 and 2 for
// test 6, 1 to 5 otherwise), then reads and deletes those of drones 1 to droneCount in order
// and returns each one's milliseconds. Raises RunInterrupted when the user stops the run, and
// an error naming the drone when one ends without a time or its copy stops growing.
std::vector<double> CollectDroneTimes(const RunContext& state, DroneFleet& fleet, int droneCount,
                                      int testIndex, const DroneWait& wait);

// Stops the drones (the stop file, then the end of any still running after 2 s) and removes
// every file of this program's naming from the work root and, when `targetDir` is not empty,
// from the target. Never raises: an error ends it and is returned (a drone that could not be
// ended, stuck on a target that stopped answering, is named); nullopt when everything went.
std::optional<RuntimeError> TerminateDrones(const RunContext& state, DroneFleet& fleet,
                                            const std::string& targetDir);

}  // namespace wirepace
