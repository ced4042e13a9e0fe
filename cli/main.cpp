// SPDX-License-Identifier: MIT
// wirepace-cli: the benchmark without a window, for servers, scripts and scheduled runs.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/run.h"
#include "core/target_calls.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard output would hand its number to the
    // next file, and the report would be written into it.
    const auto closed = wirepace::platform::ReopenClosedStandardDescriptors();
    // Nobody reads a closed standard output: the report is lost, as with a closed pipe, and
    // said so below.
    if (closed.output) std::cout.setstate(std::ios::badbit);

    // The first SIGINT or SIGTERM acts as "Stop": the current test is abandoned, the drones are
    // stopped and the work files removed. A second one removes the run's files and drones at once
    // and ends the program.
    wirepace::platform::InstallStopHandlers(wirepace::cli::RequestInterrupt);
    // UTF-8 on every system: a name or folder outside the ANSI code page arrives whole.
    std::vector<std::string> arguments = wirepace::platform::ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    int code = wirepace::cli::RunCommandLine(static_cast<int>(arguments.size()), pointers.data(),
                                             std::cin, std::cout, std::cerr);
    // What the run did not report itself (the text of --help or --version).
    if (code == 0 && !std::cout.flush()) {
        std::cerr << "wirepace-cli: cannot write to standard output\n";
        code = 1;
    }
    // A call on a target that stopped answering is still asleep in the system, where nothing
    // ends it; the run has said so and cleaned up what it could. Ending the normal way would
    // destroy the objects that thread may still touch when the target answers.
    if (wirepace::OutstandingTargetCalls() > 0) {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
