// SPDX-License-Identifier: MIT
// A controller in miniature for the Windows tests: writes a drone into the work root given as
// the first argument, starts it waiting for its release, writes its process id to the file
// given second, and ends at once without stopping it.
#include <string>

#include "core/drone_fleet.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    wirepace::RunContext state;
    state.AppDrive = argv[1];
    state.LargeTestFile = "Test16.jnk";
    wirepace::DroneFleet fleet;
    wirepace::WriteDrone(state, wirepace::DroneFileName(1));
    wirepace::StartDrone(state, fleet, 1, wirepace::DroneDirection::To, state.AppDrive,
                         wirepace::WorkFileName(1, state.LargeTestFile));
    wirepace::platform::WriteTextFile(argv[2],
                                      std::to_string(fleet.drones[0].process->Id()) + "\r\n");
    // Leave without a word: the process handle is let go, as a killed controller's would be.
    fleet.drones[0].process.release();
    return 0;
}
