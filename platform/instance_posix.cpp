// SPDX-License-Identifier: MIT
// One instance on POSIX: an advisory lock on a file in the work root.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace wirepace::platform {

namespace {

class PosixLock : public InstanceLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { ::close(fd_); }

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<InstanceLock> AcquireSingleInstance() {
    const std::string path = ControllerAppDrive() + "wirepace.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) RaiseFileError(errno, path);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixLock>(fd);
}

}  // namespace wirepace::platform
