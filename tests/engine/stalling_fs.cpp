// SPDX-License-Identifier: MIT
// A test file system that stands in for a file server that stops answering: it passes every
// request through to a real folder, and holds every request while the file CONTROL/hold
// exists, as a stopped server does. While CONTROL/hold-on-write exists, the first write
// request makes CONTROL/hold itself, so a copy is caught in the middle. Attributes are never
// cached, so every look at a file is a request, as on a share. While CONTROL/rate holds a
// number of bytes per second, reads and writes pass as over one link of that rate; while
// CONTROL/round-trip holds a number of milliseconds, every request waits that long first. It
// detaches itself with setsid, as smbnetfs does, so started as "smbnetfs" it stands in for a share
// mount's daemon.
//
//   stalling_fs MOUNTPOINT FOLDER CONTROL     (stays in the foreground until unmounted)
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::string gFolder;
std::string gHold;
std::string gHoldOnWrite;
std::string gRate;
std::string gRoundTrip;
std::mutex gLinkMutex;
std::chrono::steady_clock::time_point gLinkFree;  // when the link has sent what it was given

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Every request passes here first, and waits while the file system is held.
void Gate(bool isWrite = false) {
    if (isWrite && Exists(gHoldOnWrite)) {
        ::unlink(gHoldOnWrite.c_str());
        ::close(::open(gHold.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    }
    while (Exists(gHold)) ::usleep(5000);
    double ms = 0;
    std::ifstream roundTrip(gRoundTrip);
    if (roundTrip >> ms && ms > 0)
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

// Reads and writes take their turn on the link and its time for their bytes.
void Throttle(size_t bytes) {
    double rate = 0;
    std::ifstream control(gRate);
    if (!(control >> rate) || rate <= 0) return;
    std::chrono::steady_clock::time_point done;
    {
        const std::lock_guard<std::mutex> lock(gLinkMutex);
        gLinkFree = std::max(gLinkFree, std::chrono::steady_clock::now()) +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(bytes) / rate));
        done = gLinkFree;
    }
    std::this_thread::sleep_until(done);
}

std::string Real(const char* path) {
    return gFolder + path;
}

int Result(int rc) {
    return rc < 0 ? -errno : 0;
}

// Unbuffered opens are passed on as buffered ones: the folder behind may refuse them.
int OpenFlags(int flags) {
    return flags & ~O_DIRECT;
}

void* Init(fuse_conn_info*, fuse_config* config) {
    config->use_ino = 1;
    config->attr_timeout = 0;
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    return nullptr;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    Gate();
    return Result(fi ? ::fstat(static_cast<int>(fi->fh), st) : ::lstat(Real(path).c_str(), st));
}

int Access(const char* path, int mode) {
    Gate();
    return Result(::access(Real(path).c_str(), mode));
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    Gate();
    DIR* dir = ::opendir(Real(path).c_str());
    if (!dir) return -errno;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0))) break;
    }
    ::closedir(dir);
    return 0;
}

int MkDir(const char* path, mode_t mode) {
    Gate();
    return Result(::mkdir(Real(path).c_str(), mode));
}

int RmDir(const char* path) {
    Gate();
    return Result(::rmdir(Real(path).c_str()));
}

int Unlink(const char* path) {
    Gate();
    return Result(::unlink(Real(path).c_str()));
}

int Rename(const char* from, const char* to, unsigned int flags) {
    Gate();
    return Result(static_cast<int>(
        ::renameat2(AT_FDCWD, Real(from).c_str(), AT_FDCWD, Real(to).c_str(), flags)));
}

int Symlink(const char* to, const char* path) {
    Gate();
    return Result(::symlink(to, Real(path).c_str()));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    Gate();
    const ssize_t n = ::readlink(Real(path).c_str(), buffer, size - 1);
    if (n < 0) return -errno;
    buffer[n] = '\0';
    return 0;
}

int ChMod(const char* path, mode_t mode, fuse_file_info*) {
    Gate();
    return Result(::chmod(Real(path).c_str(), mode));
}

int ChOwn(const char* path, uid_t uid, gid_t gid, fuse_file_info*) {
    Gate();
    return Result(::lchown(Real(path).c_str(), uid, gid));
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    Gate();
    return Result(fi ? ::ftruncate(static_cast<int>(fi->fh), size)
                     : ::truncate(Real(path).c_str(), size));
}

int UTimeNs(const char* path, const timespec times[2], fuse_file_info* fi) {
    Gate();
    return Result(fi ? ::futimens(static_cast<int>(fi->fh), times)
                     : ::utimensat(AT_FDCWD, Real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    Gate();
    const int fd = ::open(Real(path).c_str(), OpenFlags(fi->flags), mode);
    if (fd < 0) return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    Gate();
    const int fd = ::open(Real(path).c_str(), OpenFlags(fi->flags));
    if (fd < 0) return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    Gate();
    Throttle(size);
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    Gate(true);
    Throttle(size);
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int StatFs(const char*, struct statvfs* st) {
    Gate();
    return Result(::statvfs(gFolder.c_str(), st));
}

int Flush(const char*, fuse_file_info*) {
    Gate();
    return 0;
}

int Release(const char*, fuse_file_info* fi) {
    // Not held: the system does not wait for it, and the descriptor must go.
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int FSync(const char*, int dataOnly, fuse_file_info* fi) {
    Gate();
    const int fd = static_cast<int>(fi->fh);
    return Result(dataOnly ? ::fdatasync(fd) : ::fsync(fd));
}

int FAllocate(const char*, int mode, off_t offset, off_t length, fuse_file_info* fi) {
    Gate();
    return Result(::fallocate(static_cast<int>(fi->fh), mode, offset, length));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: stalling_fs MOUNTPOINT FOLDER CONTROL\n");
        return 2;
    }
    ::setsid();
    gFolder = argv[2];
    gHold = std::string(argv[3]) + "/hold";
    gHoldOnWrite = std::string(argv[3]) + "/hold-on-write";
    gRate = std::string(argv[3]) + "/rate";
    gRoundTrip = std::string(argv[3]) + "/round-trip";

    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.access = Access;
    ops.readdir = ReadDir;
    ops.mkdir = MkDir;
    ops.rmdir = RmDir;
    ops.unlink = Unlink;
    ops.rename = Rename;
    ops.symlink = Symlink;
    ops.readlink = ReadLink;
    ops.chmod = ChMod;
    ops.chown = ChOwn;
    ops.truncate = Truncate;
    ops.utimens = UTimeNs;
    ops.create = Create;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    ops.statfs = StatFs;
    ops.flush = Flush;
    ops.release = Release;
    ops.fsync = FSync;
    ops.fallocate = FAllocate;

    char fsname[] = "-ofsname=stalling_fs";
    char foreground[] = "-f";
    // The mount's type names the program as started: "fuse.smbnetfs" when started as one.
    const std::string name = argv[0];
    std::string subtype = "-osubtype=" + name.substr(name.find_last_of('/') + 1);
    char* args[] = {argv[0], foreground, fsname, subtype.data(), argv[1], nullptr};
    return fuse_main(5, args, &ops, nullptr);
}
