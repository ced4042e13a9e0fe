// SPDX-License-Identifier: MIT
#pragma once

#include <istream>
#include <ostream>

namespace wirepace::cli {

// The whole command-line program: options, the runs, the report. Returns the exit code:
// 0 finished, 1 ended with an error or the results could not be written, 2 bad options,
// 128 + the signal number when interrupted (130 for SIGINT, 143 for SIGTERM).
int RunCommandLine(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                   std::ostream& err);

// Asks the running sequence to stop, as the "Stop" button does, and makes the exit code
// 128 + `signal`. Safe from a signal handler.
void RequestInterrupt(int signal);

}  // namespace wirepace::cli
