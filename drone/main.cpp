// SPDX-License-Identifier: MIT
// Ferrylet, the drone: started by the controller from the controller's work root, it waits
// for the release file, copies one file, and writes how many milliseconds the copy took.
#include "drone/drone_run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // Its files must never take the number of a closed standard descriptor: an error report
    // would be written into them.
    wirepace::platform::ReopenClosedStandardDescriptors();
    return wirepace::drone::RunDrone(wirepace::platform::DroneAppDrive(),
                                     wirepace::platform::ArgumentText(argc, argv));
}
