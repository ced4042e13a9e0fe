// SPDX-License-Identifier: MIT
// Writing, starting, releasing and collecting the drones of the parallel tests.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "core/benchmark_state.h"
#include "core/main_window_io.h"
#include "platform/platform.h"

namespace wirepace {

inline constexpr const char* kReleaseFile = "GO.txt";
inline constexpr const char* kStopFile = "TERMDRONES.txt";
inline constexpr int kMaxDrones = 5;

// The drone processes started in this run, slot n - 1 for drone n. Kept so that a drone that
// ended without reporting ends the wait instead of hanging it.
struct DroneFleet {
    std::array<std::unique_ptr<platform::Process>, kMaxDrones> processes;
};

// The drone program image the controller carries.
struct DroneImage {
    const unsigned char* bytes;
    std::size_t size;
};
DroneImage EmbeddedDroneImage();

// Writes the drone image to AppDrive & name, byte for byte, without truncating.
void WriteDrone(const BenchmarkState& state, const std::string& name);

enum class DroneMode { To, From };

// The argument text of drone n: " -TO" or " -FROM" without its blank, the directory, "?", the
// file (n & LargeTestFile), with no blanks between.
std::string DroneArgumentText(DroneMode mode, const std::string& dir, const std::string& file);

// Starts AppDrive & "Drone" & n & ".exe" with that argument text and keeps its process.
void StartDrone(const BenchmarkState& state, DroneFleet& fleet, int n, DroneMode mode,
                const std::string& dir, const std::string& file);

// Releases the started drones with one file, waits for the result files (drones 1 and 2 for
// test 6, 1 to 5 otherwise), then reads and deletes those of drones 1 to droneCount and returns
// the sum of their milliseconds.
double CollectDroneTimes(const BenchmarkState& state, DroneFleet& fleet, int droneCount,
                         int testIndex);

// Stops waiting drones and deletes every work, drone, result and handshake file of the run.
// Never raises: an error ends it with the message "description [number]".
void TerminateDrones(const BenchmarkState& state, MainWindowIO& window, DroneFleet& fleet);

// Removes a release or stop file left behind by an abandoned earlier run.
void RemoveStaleHandshakeFiles(const BenchmarkState& state);

}  // namespace wirepace
