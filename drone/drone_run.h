// SPDX-License-Identifier: MIT
// One run of the drone: wait for the release, copy once, report the milliseconds.
#pragma once

#include <string>

namespace wirepace::drone {

// Runs the drone whose handshake files lie in `appDrive` with the given argument text.
// Returns the exit code: 0 after a reported copy and after every quiet end (no mode keyword,
// stop file present), 1 after an error, which has been reported as "description [number]".
// Never deletes a file.
int RunDrone(const std::string& appDrive, const std::string& argText);

}  // namespace wirepace::drone
