// SPDX-License-Identifier: MIT
// What the POSIX files of the platform layer share: path pieces and the safe ways to create,
// write and close a file. Internal to platform/.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace wirepace::platform::posix {

// `dir` ending in "/".
std::string WithSeparator(std::string dir);
// The folder that holds `path`: "." for a bare name, "/" for a name in the root.
std::string ParentOf(const std::string& path);

// An empty path, or one with a NUL byte the system would cut it at, is "File not found".
void CheckPath(const std::string& path);
// open() with O_CLOEXEC added; a failure raises the mapped error.
int OpenOrRaise(const std::string& path, int flags, mode_t mode = 0644);
// A link or anything but a plain file under a name this program writes: never written through.
[[noreturn]] void RefuseNonFile(const std::string& path);
// The same, saying what `mode` (from lstat or fstat) shows is there instead.
[[noreturn]] void RefuseNonFile(const std::string& path, mode_t mode);
// Opens an existing or (with O_CREAT) new plain file, never waiting and never through a link:
// a named pipe, a device or anything else but a plain file under the name is refused, naming
// it. The descriptor is blocking again when it is returned.
int OpenPlainFile(const std::string& path, int flags, mode_t mode = 0644);
// Creates `path` fresh for writing: a plain file of that name is removed first, then the name
// is created exclusively without following a link, so no write ever lands elsewhere.
int CreateFresh(const std::string& path, mode_t mode);
// Writes everything, retrying short writes; the descriptor stays open either way.
void WriteFully(int fd, const void* data, std::size_t size, const std::string& path);
void CloseOrRaise(int fd, const std::string& path);
// Appends what `fd` holds from where it stands to its end, or until `text` is longer than
// `limit`; an interrupted read is retried. 0, or the error number of a read that failed.
int ReadAll(int fd, std::string& text, std::size_t limit = static_cast<std::size_t>(-1));

// A file this process is creating: removed again unless Keep() is reached, so a failure at any
// step (a full disk, a refused flush) leaves nothing half written.
class FreshFile {
  public:
    FreshFile(const std::string& path, mode_t mode);
    ~FreshFile();
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;
    int Fd() const { return fd_; }
    void Write(const void* data, std::size_t size);
    // Flushes the written data out of this machine's cache (to the disk or the server).
    void Flush();
    void Keep();

  private:
    std::string path_;
    int fd_;
    bool kept_ = false;
};

// Puts `bytes` under `path` whole or not at all: written to a hidden file beside it (flushed,
// `mode`), then renamed over the name, which replaces whatever is there, a link included,
// without following it.
void ReplaceThroughRename(const std::string& path, const std::string& bytes, mode_t mode);

}  // namespace wirepace::platform::posix
