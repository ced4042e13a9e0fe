// SPDX-License-Identifier: MIT
// The timed copy on POSIX: the source read unbuffered (O_DIRECT) where the file system allows
// it, otherwise with its cached pages dropped first; the target flushed before it returns.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"

namespace wirepace::platform {

using posix::CheckPath;
using posix::FreshFile;
using posix::OpenOrRaise;

namespace {

std::atomic<bool> gRefuseDirectReads{false};

// Unbuffered reads need a buffer aligned to the device's block; a page satisfies every one.
constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::size_t kAlignment = 4096;

struct AlignedBuffer {
    AlignedBuffer() {
        if (::posix_memalign(&data, kAlignment, kCopyChunk) != 0) throw std::bad_alloc();
    }
    ~AlignedBuffer() { std::free(data); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    void* data = nullptr;
};

// Opens the source of a timed copy so that its bytes come from where it lies: unbuffered where
// the file system accepts it, otherwise with its cached pages dropped first.
int OpenUncached(const std::string& path, CacheBypass& how) {
    CheckPath(path);
    if (!gRefuseDirectReads.load()) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        if (fd >= 0) {
            how = CacheBypass::DirectReads;
            return fd;
        }
        if (errno != EINVAL && errno != EOPNOTSUPP) RaiseFileError(errno, path);
    }
    const int fd = OpenOrRaise(path, O_RDONLY);
    how = CacheBypass::DroppedPages;
    // Written data must be on its way before clean pages can be dropped.
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return fd;
}

// Reads one chunk; an unbuffered read that the file system refuses after all (some accept the
// flag at open and fail the read) falls back to dropped pages for the rest of the file.
ssize_t ReadChunk(int fd, void* buffer, const std::string& path, CacheBypass& how) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, kCopyChunk);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EINVAL && how == CacheBypass::DirectReads) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0) {
                how = CacheBypass::DroppedPages;
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                continue;
            }
        }
        RaiseFileError(errno, path);
    }
}

}  // namespace

CacheBypass CopyUncached(const std::string& from, const std::string& to,
                         const CopyProgress& progress) {
    CacheBypass how = CacheBypass::DirectReads;
    const int in = OpenUncached(from, how);
    struct InGuard {
        int fd;
        ~InGuard() { ::close(fd); }
    } guard{in};
    struct stat st {};
    if (::fstat(in, &st) == 0 && !S_ISREG(st.st_mode)) posix::RefuseNonFile(from, st.st_mode);
    FreshFile out(to, 0644);
    AlignedBuffer buffer;
    std::int64_t copied = 0;
    for (;;) {
        const ssize_t n = ReadChunk(in, buffer.data, from, how);
        if (n == 0) break;
        out.Write(buffer.data, static_cast<std::size_t>(n));
        copied += n;
        // Abandoned: the guard of the fresh file removes what was written.
        if (progress && !progress(copied, st.st_size)) throw RunInterrupted();
    }
    out.Flush();
    out.Keep();
    return how;
}

void RefuseDirectReadsForTests(bool refuse) {
    gRefuseDirectReads.store(refuse);
}

}  // namespace wirepace::platform
