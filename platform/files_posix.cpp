// SPDX-License-Identifier: MIT
// Files on POSIX. Nothing is written through a symbolic link: names are created exclusively
// with O_NOFOLLOW, and a write that fails midway removes its partial file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"

namespace wirepace::platform {

namespace posix {

std::string WithSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void CheckPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos)
        throw RuntimeError(kErrFileNotFound).WithPath(path);
}

int OpenOrRaise(const std::string& path, int flags, mode_t mode) {
    CheckPath(path);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) RaiseFileError(errno, path);
    return fd;
}

[[noreturn]] void RefuseNonFile(const std::string& path) {
    throw RuntimeError(kErrPathFileAccess, "Refusing to write through \"" + path +
                                               "\": it is a symbolic link or not a plain file")
        .WithPath(path);
}

[[noreturn]] void RefuseNonFile(const std::string& path, mode_t mode) {
    const char* kind = S_ISLNK(mode)                      ? "a symbolic link"
                       : S_ISFIFO(mode)                   ? "a named pipe (FIFO)"
                       : S_ISDIR(mode)                    ? "a folder"
                       : S_ISSOCK(mode)                   ? "a socket"
                       : (S_ISCHR(mode) || S_ISBLK(mode)) ? "a device"
                                                          : "something else";
    throw RuntimeError(kErrPathFileAccess,
                       "Refusing to use \"" + path + "\": it is " + kind + ", not a plain file")
        .WithPath(path);
}

int OpenPlainFile(const std::string& path, int flags, mode_t mode) {
    CheckPath(path);
    // Not blocking: opening a named pipe waits for its other end, which may never come.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        // ELOOP: a link under the name; ENXIO: a pipe nobody reads, or a device without one.
        if ((err == ELOOP || err == ENXIO) && ::lstat(path.c_str(), &st) == 0 &&
            !S_ISREG(st.st_mode))
            RefuseNonFile(path, st.st_mode);
        RaiseFileError(err, path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        RefuseNonFile(path, st.st_mode);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path);
    }
    return fd;
}

int CreateFresh(const std::string& path, mode_t mode) {
    CheckPath(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            // The umask decides a data file's mode, but must not take a program's run bit.
            if ((mode & S_IXUSR) && ::fchmod(fd, mode) != 0) {
                const int err = errno;
                ::close(fd);
                ::unlink(path.c_str());
                RaiseFileError(err, path);
            }
            return fd;
        }
        if (errno != EEXIST) RaiseFileError(errno, path);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;  // gone meanwhile: try again
        if (!S_ISREG(st.st_mode)) RefuseNonFile(path);
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) RaiseFileError(errno, path);
    }
    throw RuntimeError(kErrPathFileAccess).WithPath(path);
}

void WriteFully(int fd, const void* data, std::size_t size, const std::string& path) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno, path);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void CloseOrRaise(int fd, const std::string& path) {
    if (::close(fd) != 0 && errno != EINTR) RaiseFileError(errno, path);
}

FreshFile::FreshFile(const std::string& path, mode_t mode)
    : path_(path), fd_(CreateFresh(path, mode)) {}

FreshFile::~FreshFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(path_.c_str());
}

void FreshFile::Write(const void* data, std::size_t size) {
    WriteFully(fd_, data, size, path_);
}

void FreshFile::Flush() {
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) RaiseFileError(errno, path_);
}

void FreshFile::Keep() {
    const int fd = std::exchange(fd_, -1);
    CloseOrRaise(fd, path_);
    kept_ = true;
}

int ReadAll(int fd, std::string& text, std::size_t limit) {
    char buffer[65536];
    while (text.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return 0;
}

void ReplaceThroughRename(const std::string& path, const std::string& bytes, mode_t mode) {
    // A hidden name without the final one's ending, so a collector that reads "*.prom" skips
    // it; the process id keeps two writers of the same file apart.
    const std::filesystem::path final(path);
    const std::string temp = (final.parent_path() / ("." + final.filename().string() + ".tmp-" +
                                                     std::to_string(::getpid())))
                                 .string();
    {
        FreshFile file(temp, mode);
        file.Write(bytes.data(), bytes.size());
        file.Flush();  // on disk before the name points at it
        file.Keep();
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        RaiseFileError(err, path);
    }
}

}  // namespace posix

using posix::CheckPath;
using posix::CloseOrRaise;
using posix::CreateFresh;
using posix::FreshFile;
using posix::OpenPlainFile;
using posix::ParentOf;
using posix::RefuseNonFile;
using posix::WithSeparator;
using posix::WriteFully;

[[noreturn]] void RaiseFileError(int osError, const std::string& path) {
    switch (osError) {
        case ENOENT: {
            // A missing file in a folder that exists is "file not found"; a missing folder on
            // the way is "path not found".
            struct stat st {};
            const std::string parent = ParentOf(path);
            if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                throw RuntimeError(kErrFileNotFound).WithPath(path);
            throw RuntimeError(kErrPathNotFound).WithPath(path);
        }
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            throw RuntimeError(kErrPathNotFound).WithPath(path);
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
        case EBUSY:
            throw RuntimeError(kErrPermissionDenied).WithPath(path);
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG:
            throw RuntimeError(kErrDiskFull).WithPath(path);
        default:
            throw RuntimeError(kErrPathFileAccess).WithPath(path);
    }
}

FileWriter::FileWriter(const std::string& path) : path_(path), handle_(CreateFresh(path, 0644)) {}

FileWriter::~FileWriter() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(handle_));
    ::unlink(path_.c_str());
}

void FileWriter::Write(const void* data, std::size_t size) {
    if (handle_ < 0) throw RuntimeError(kErrPathFileAccess).WithPath(path_);
    WriteFully(static_cast<int>(handle_), data, size, path_);
}

void FileWriter::Close() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        const int err = errno;
        ::unlink(path_.c_str());
        RaiseFileError(err, path_);
    }
}

void RemoveFile(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RuntimeError(kErrPathFileAccess).WithPath(path);
    if (::unlink(path.c_str()) != 0) RaiseFileError(errno, path);
}

void RenameFile(const std::string& from, const std::string& to) {
    CheckPath(from);
    CheckPath(to);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) RaiseFileError(errno, from);
    if (!S_ISREG(st.st_mode)) RefuseNonFile(from);
    // Renaming onto an existing name is refused, as on Windows: nothing is silently replaced.
    if (::lstat(to.c_str(), &st) == 0) throw RuntimeError(kErrPathFileAccess).WithPath(to);
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseFileError(errno, to);
}

std::int64_t FileLength(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) RaiseFileError(errno, path);
    return static_cast<std::int64_t>(st.st_size);
}

void CreateEmptyFile(const std::string& path) {
    FreshFile file(path, 0644);
    file.Keep();
}

void AppendLine(const std::string& path, const std::string& line) {
    const int fd = OpenPlainFile(path, O_WRONLY | O_CREAT | O_APPEND);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path);
    }
    const std::string text = line + "\r\n";
    try {
        WriteFully(fd, text.data(), text.size(), path);
    } catch (...) {
        // A torn line would glue itself to the next one: cut the file back to where it was.
        if (::ftruncate(fd, st.st_size) != 0) {
        }
        ::close(fd);
        throw;
    }
    CloseOrRaise(fd, path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    FreshFile file(path, 0644);
    file.Write(text.data(), text.size());
    file.Keep();
}

bool CreateExclusiveFile(const std::string& path, const std::string& text) {
    CheckPath(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        RaiseFileError(errno, path);
    }
    try {
        WriteFully(fd, text.data(), text.size(), path);
        if (::fdatasync(fd) != 0 && errno != EINVAL) RaiseFileError(errno, path);
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    CloseOrRaise(fd, path);
    return true;
}

namespace {

// Reads up to the first line end and closes `fd`.
std::string FirstLineOf(int fd, const std::string& path) {
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            RaiseFileError(err, path);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.find_first_of("\r\n") != std::string::npos) break;
    }
    ::close(fd);
    const auto end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

std::string ReadFirstLine(const std::string& path) {
    return FirstLineOf(OpenPlainFile(path, O_RDONLY), path);
}

std::string ReadTextFile(const std::string& path) {
    const int fd = OpenPlainFile(path, O_RDONLY);
    std::string text;
    const int err = posix::ReadAll(fd, text);
    ::close(fd);
    if (err != 0) RaiseFileError(err, path);
    // A log copied from Windows starts with the byte-order mark of UTF-8.
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    return text;
}

std::optional<std::string> UnstorableCharacter(const std::string&, const std::string&) {
    return std::nullopt;
}

void ReplaceFileWhole(const std::string& path, const std::string& bytes) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) RefuseNonFile(path);
    posix::ReplaceThroughRename(path, bytes, 0644);  // the umask decides, as for any data file
}

std::string ReadPrivateFirstLine(const std::string& path) {
    // Non-blocking, so a pipe under the name cannot hold the program at the open.
    const int fd = posix::OpenOrRaise(path, O_RDONLY | O_NONBLOCK);
    struct stat st {};
    const int statError = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (statError == 0 && S_ISREG(st.st_mode) && !(st.st_mode & (S_IRGRP | S_IROTH)))
        return FirstLineOf(fd, path);
    ::close(fd);
    if (statError != 0) RaiseFileError(statError, path);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(kErrPathFileAccess, "\"" + path + "\" is not a plain file")
            .WithPath(path);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw RuntimeError(kErrPermissionDenied, "\"" + path + "\" may be read by other users (mode " +
                                                 mode +
                                                 "); make it readable by its owner alone: "
                                                 "chmod 600 '" +
                                                 path + "'")
        .WithPath(path);
}

void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size) {
    FreshFile file(path, 0700);
    file.Write(bytes, size);
    file.Keep();
}

void FlushFile(const std::string& path) {
    const int fd = OpenPlainFile(path, O_RDONLY);
    const int rc = ::fdatasync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL && err != EROFS) RaiseFileError(err, path);
}

void TouchFile(const std::string& path) {
    CheckPath(path);
    if (::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0)
        RaiseFileError(errno, path);
}

double FileAgeSeconds(const std::string& path) {
    CheckPath(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) RaiseFileError(errno, path);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec - st.st_mtim.tv_sec) +
           static_cast<double>(now.tv_nsec - st.st_mtim.tv_nsec) / 1e9;
}

EntryKind KindOf(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return EntryKind::Missing;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return EntryKind::Missing;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Other;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    CheckPath(dir);
    DIR* d = ::opendir(dir.c_str());
    if (!d) RaiseFileError(errno, WithSeparator(dir) + ".");
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

}  // namespace wirepace::platform

namespace wirepace::platform {

using posix::CheckPath;
using posix::WithSeparator;

FolderHandle::FolderHandle(const std::string& dir) : path_(WithSeparator(dir)) {
    CheckPath(dir);
    // The folder itself may be reached through a link: that is where the user sent the run, and
    // it is pinned from here on.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) throw RuntimeError(kErrPathNotFound).WithPath(path_);
        RaiseFileError(err, path_);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path_);
    }
    handle_ = fd;
    volume_ = static_cast<std::uint64_t>(st.st_dev);
    id_ = static_cast<std::uint64_t>(st.st_ino);
}

FolderHandle::~FolderHandle() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool FolderHandle::StillAtItsPath() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_dev) == volume_ &&
           static_cast<std::uint64_t>(st.st_ino) == id_;
}

void FolderHandle::CheckStillAtItsPath() const {
    if (StillAtItsPath()) return;
    throw RuntimeError(kErrPathFileAccess,
                       "The folder " + path_ +
                           " is no longer the one this run opened: it was moved, removed or "
                           "replaced (a symbolic link to another folder?) during the run; "
                           "nothing more is written or removed there")
        .WithPath(path_);
}

std::vector<std::string> FolderHandle::Entries() const {
    // Opened anew through the folder itself: a network file system may keep the listing of an
    // open folder as it was when it was opened (smbnetfs does), and closedir closes what it reads.
    const int fd = ::openat(static_cast<int>(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) RaiseFileError(errno, path_);
    DIR* d = ::fdopendir(fd);
    if (!d) {
        const int err = errno;
        ::close(fd);
        RaiseFileError(err, path_);
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

EntryKind FolderHandle::KindOf(const std::string& name) const {
    if (name.empty() || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        return EntryKind::Missing;
    struct stat st {};
    if (::fstatat(static_cast<int>(handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Other;
}

void FolderHandle::Remove(const std::string& name) const {
    const std::string path = path_ + name;
    // A name, never a path: nothing outside this folder is reached through it.
    if (name.empty() || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        throw RuntimeError(kErrFileNotFound).WithPath(path);
    const int fd = static_cast<int>(handle_);
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        throw RuntimeError(kErrPathFileAccess).WithPath(path);
    if (::unlinkat(fd, name.c_str(), 0) == 0) return;
    // The folder is open: a missing name is a missing file, whatever its path shows now.
    if (errno == ENOENT) throw RuntimeError(kErrFileNotFound).WithPath(path);
    RaiseFileError(errno, path);
}

}  // namespace wirepace::platform
