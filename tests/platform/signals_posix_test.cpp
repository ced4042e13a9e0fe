// SPDX-License-Identifier: MIT
// The standard descriptors at start-up, in a child process of their own.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/platform.h"

namespace wirepace {
namespace {

// True when `fd` is open on the null device.
bool OnNullDevice(int fd) {
    struct stat here {
    }, null{};
    return ::fstat(fd, &here) == 0 && ::stat("/dev/null", &null) == 0 && S_ISCHR(here.st_mode) &&
           here.st_rdev == null.st_rdev;
}

TEST(StandardDescriptors, ClosedOnesAreTakenByTheNullDeviceAndReported) {
    const std::set<int> cases[] = {{1}, {0, 2}, {0, 1, 2}, {2}, {}};
    for (const auto& toClose : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Each failed check sets a bit of the exit code.
            int failures = 0;
            for (const int fd : toClose) ::close(fd);
            const auto closed = platform::ReopenClosedStandardDescriptors();
            const bool said[] = {closed.input, closed.output, closed.error};
            for (int fd = 0; fd <= 2; ++fd) {
                const bool wasClosed = toClose.count(fd) > 0;
                if (said[fd] != wasClosed) failures |= 1 << fd;
                if (wasClosed && !OnNullDevice(fd)) failures |= 8 << fd;
            }
            // The next file opened gets a number of its own.
            const int next = ::open("/dev/zero", O_RDONLY);
            if (next <= 2) failures |= 64;
            ::_exit(failures);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        std::string named;
        for (const int fd : toClose) named += std::to_string(fd) + " ";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "closed: " << named;
    }
}

}  // namespace
}  // namespace wirepace
