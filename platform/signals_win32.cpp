// SPDX-License-Identifier: MIT
// The standard descriptors and stop signals on Windows (Ctrl-C, SIGTERM from the C runtime):
// the first stop signal asks the run to stop, a second ends the program at once after the
// emergency cleanup.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <csignal>
#include <cstdlib>

#include "platform/platform.h"

namespace wirepace::platform {

namespace {

volatile std::sig_atomic_t gStopSeen = 0;
// Set before the handlers are installed, read only by them.
StopHandler gOnStop = nullptr;

void OnStopSignal(int signal) {
    if (gStopSeen) {
        RunEmergencyCleanup();
        std::_Exit(128 + signal);
    }
    gStopSeen = 1;
    if (gOnStop) gOnStop(signal);
    std::signal(signal, OnStopSignal);  // Windows resets the handler after each delivery
}

}  // namespace

ClosedStandardDescriptors ReopenClosedStandardDescriptors() {
    return {};
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallStopHandlers(StopHandler onStop) {
    gOnStop = onStop;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

}  // namespace wirepace::platform
