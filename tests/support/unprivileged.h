// SPDX-License-Identifier: MIT
// Permission checks mean nothing to root, and CI runs as root: such checks run in a child
// process that has given up its privileges.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace wirepace::testing {

// Runs `check` in a child (as user "nobody" when started as root) and returns its result;
// -1 when the child could not run it.
inline int RunUnprivileged(const std::function<int()>& check) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(255);
        _exit(check());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace wirepace::testing
