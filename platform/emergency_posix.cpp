// SPDX-License-Identifier: MIT
// The operations of an emergency exit on POSIX, all async-signal-safe: fork, execve, waitpid,
// nanosleep, kill, unlink and umount2 are.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform_emergency.h"

#if defined(__linux__)
#include <sys/mount.h>
#endif

extern char** environ;

namespace wirepace::platform {

namespace detail {

void KillProcessNow(int id) noexcept {
    if (id > 0) ::kill(static_cast<pid_t>(id), SIGKILL);
}

void RemoveFileNow(const char* utf8Path) noexcept {
    ::unlink(utf8Path);
}

void KillProcessGroupNow(int group) noexcept {
    if (group > 1) ::kill(-static_cast<pid_t>(group), SIGKILL);
}

void RunBoundedNow(void (*work)() noexcept, int ms) noexcept {
    const int saved = errno;
    const pid_t pid = ::fork();
    if (pid < 0) {
        work();
    } else if (pid == 0) {
        work();
        ::_exit(0);
    } else {
        for (int waited = 0; waited < ms; waited += 10) {
            const pid_t ended = ::waitpid(pid, nullptr, WNOHANG);
            if (ended == pid || (ended < 0 && errno != EINTR)) break;
            const timespec pause{0, 10 * 1000 * 1000};
            ::nanosleep(&pause, nullptr);
        }
    }
    errno = saved;
}

namespace {

// Runs the unmounter to its end, about two seconds at most; true when it succeeded.
bool RunUnmounter(const char* mountPath, const char* unmounter) noexcept {
    if (!unmounter || !*unmounter) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0)
            for (int fd = 0; fd <= 2; ++fd) ::dup2(null, fd);
        char u[] = "-u", z[] = "-z", q[] = "-q";
        char* const argv[] = {const_cast<char*>(unmounter), u,      z, q,
                              const_cast<char*>(mountPath), nullptr};
        ::execve(unmounter, argv, environ);
        ::_exit(127);
    }
    for (int waited = 0; waited < 200; ++waited) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 && errno != EINTR) return false;
        const timespec pause{0, 10 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

}  // namespace

void UnmountNow(const char* mountPath, const char* unmounter) noexcept {
    const int saved = errno;
    if (!RunUnmounter(mountPath, unmounter)) {
#if defined(__linux__)
        // Allowed to root, where the helper is missing or failed.
        ::umount2(mountPath, MNT_DETACH);
#endif
    }
    errno = saved;
}

}  // namespace detail

}  // namespace wirepace::platform
