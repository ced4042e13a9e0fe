// SPDX-License-Identifier: MIT
#pragma once

#include <istream>
#include <ostream>

namespace wirepace::cli {

// The whole command-line program: options, the runs, the report. Returns the exit code:
// 0 finished, 1 ended with an error, 2 bad options, 130 interrupted.
int RunCommandLine(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                   std::ostream& err);

// Asks the running sequence to stop, as the "Stop" button does. Safe from a signal handler.
void RequestInterrupt();

}  // namespace wirepace::cli
