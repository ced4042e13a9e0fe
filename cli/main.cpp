// SPDX-License-Identifier: MIT
// wirepace-cli: the benchmark without a window, for servers, scripts and scheduled runs.
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "cli/run.h"
#include "platform/platform.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

// The first SIGINT or SIGTERM acts as "Stop": the current test ends, the drones are stopped
// and the work files removed. A second one cannot wait for that: it removes the run's files
// and drones at once and ends the program.
volatile std::sig_atomic_t gSignalSeen = 0;

[[noreturn]] void ExitNow(int signal) {
    wirepace::platform::RunEmergencyCleanup();
#if defined(_WIN32)
    std::_Exit(128 + signal);
#else
    _exit(128 + signal);
#endif
}

#if defined(_WIN32)
void OnSignal(int signal) {
    if (gSignalSeen) ExitNow(signal);
    gSignalSeen = 1;
    wirepace::cli::RequestInterrupt(signal);
    std::signal(signal, OnSignal);  // Windows resets the handler after each delivery
}

void InstallSignalHandlers() {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}
#else
void OnSignal(int signal) {
    if (gSignalSeen) ExitNow(signal);
    gSignalSeen = 1;
    wirepace::cli::RequestInterrupt(signal);
}

void InstallSignalHandlers() {
    // A closed standard output (`| head -3`) must not kill the run before it cleans up; the
    // failed write is reported instead.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits until the first has been noted.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    // The run goes on after the first signal; its file operations must not fail with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    InstallSignalHandlers();
    return wirepace::cli::RunCommandLine(argc, argv, std::cin, std::cout, std::cerr);
}
