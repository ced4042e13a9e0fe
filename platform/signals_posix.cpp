// SPDX-License-Identifier: MIT
// The standard descriptors and stop signals on POSIX: closed standard descriptors are taken by
// the null device; the first stop signal asks the run to stop, a second ends the program at
// once after the emergency cleanup, and a quit cleans up before the system's own action.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform.h"

namespace wirepace::platform {

namespace {

// SIGHUP: the terminal (or the SSH connection) went away, an end the user did not ask for but
// one the run must clean up after all the same.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t gStopSeen = 0;
// Set before the handlers are installed, read only by them.
StopHandler gOnStop = nullptr;
// The end of the pipe WatchStopSignals writes to, -1 without one.
volatile std::sig_atomic_t gStopPipe = -1;

void OnStopSignal(int signal) {
    if (gStopSeen) {
        RunEmergencyCleanup();
        ::_exit(128 + signal);
    }
    gStopSeen = 1;
    if (gOnStop) gOnStop(signal);
}

// A quit asks for a core dump: that is the system's to make, once the run's files and drones
// are gone.
void OnQuit(int signal) {
    RunEmergencyCleanup();
    ::signal(signal, SIG_DFL);
    // Blocked while this handler runs; delivered, with the default action, when it returns.
    ::raise(signal);
}

void WriteToStopPipe(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (::write(gStopPipe, &number, 1) < 0) {
        // Full only when an earlier byte is still unread: the loop is told already.
    }
    errno = saved;
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

    struct sigaction quit = action;
    quit.sa_handler = OnQuit;
    sigaddset(&quit.sa_mask, SIGQUIT);
    ::sigaction(SIGQUIT, &quit, nullptr);
}

int WatchStopSignals() {
    int ends[2];
    if (::pipe(ends) != 0) return -1;
    for (const int end : ends) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        // The handler must never block on a full pipe.
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    gStopPipe = ends[1];
    InstallStopHandlers(WriteToStopPipe);
    return ends[0];
}

}  // namespace wirepace::platform
