// SPDX-License-Identifier: MIT
// wirepace-cli: the benchmark without a window, for servers, scripts and scheduled runs.
#include <csignal>
#include <iostream>

#include "cli/run.h"

namespace {
void OnInterrupt(int) {
    wirepace::cli::RequestInterrupt();
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    return wirepace::cli::RunCommandLine(argc, argv, std::cin, std::cout, std::cerr);
}
