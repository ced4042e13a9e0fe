// SPDX-License-Identifier: MIT
// Stop signals on POSIX: the first asks the run to stop, a second ends the program at once
// after the emergency cleanup.
#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "platform/platform.h"

namespace wirepace::platform {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

volatile std::sig_atomic_t gStopSeen = 0;
// Set before the handlers are installed, read only by them.
StopHandler gOnStop = nullptr;

void OnStopSignal(int signal) {
    if (gStopSeen) {
        RunEmergencyCleanup();
        ::_exit(128 + signal);
    }
    gStopSeen = 1;
    if (gOnStop) gOnStop(signal);
}

}  // namespace

void InstallStopHandlers(StopHandler onStop) {
    gOnStop = onStop;

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits until the first has been noted.
    for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    // The run goes on after the first signal; its file operations must not fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace wirepace::platform
