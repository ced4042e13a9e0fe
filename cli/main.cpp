// SPDX-License-Identifier: MIT
// wirepace-cli: the benchmark without a window, for servers, scripts and scheduled runs.
#include <iostream>

#include "cli/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // The first SIGINT or SIGTERM acts as "Stop": the current test ends, the drones are stopped
    // and the work files removed. A second one removes the run's files and drones at once and
    // ends the program.
    wirepace::platform::InstallStopHandlers(wirepace::cli::RequestInterrupt);
    return wirepace::cli::RunCommandLine(argc, argv, std::cin, std::cout, std::cerr);
}
