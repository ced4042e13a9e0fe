// SPDX-License-Identifier: MIT
// The standard descriptors and stop signals on POSIX: closed standard descriptors are taken by
// the null device; the first stop signal asks the run to stop, a second ends the program at
// once after the emergency cleanup.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
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

// True when `fd` names no open file.
bool IsClosed(int fd) {
    return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

}  // namespace

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

ClosedStandardDescriptors ReopenClosedStandardDescriptors() {
    ClosedStandardDescriptors closed;
    bool* const flags[] = {&closed.input, &closed.output, &closed.error};
    for (int fd = 0; fd <= 2; ++fd) {
        if (!IsClosed(fd)) continue;
        *flags[fd] = true;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            // Without the null device the number stays free for the next file this program
            // opens, and what is written to it would land there: better not to run at all.
            if (opened < 0 || ::dup2(opened, fd) != fd) ::_exit(1);
            ::close(opened);
        }
    }
    return closed;
}

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
