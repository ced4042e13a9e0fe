// SPDX-License-Identifier: MIT
// Mount detection on POSIX: whether a folder lies on a file system reached over a network,
// and how much room that file system has left.

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/platform.h"

#if defined(__linux__)
#include <sys/vfs.h>
#else
#include <sys/mount.h>
#include <sys/param.h>
#endif

namespace wirepace::platform {

namespace fs = std::filesystem;

namespace {

#if defined(__linux__)
// The file system type of the mount that holds `dir`, from the mount table ("fuse.sshfs").
std::string MountTypeOf(const std::string& dir) {
    std::error_code ec;
    const std::string real = fs::canonical(dir, ec).string();
    if (ec) return {};
    std::ifstream table("/proc/self/mountinfo");
    std::string best, bestType;
    for (std::string line; std::getline(table, line);) {
        // id parent major:minor root mountpoint options... - type source superoptions
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type;
        // Blanks and other odd characters in mount points are written as octal escapes.
        std::string point;
        for (std::size_t i = 0; i < mountPoint.size(); ++i) {
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size() &&
                std::isdigit(static_cast<unsigned char>(mountPoint[i + 1]))) {
                point += static_cast<char>(std::stoi(mountPoint.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                point += mountPoint[i];
            }
        }
        const bool under = point == "/" || real == point ||
                           (real.size() > point.size() &&
                            real.compare(0, point.size(), point) == 0 && real[point.size()] == '/');
        if (under && point.size() >= best.size()) {
            best = point;
            bestType = type;
        }
    }
    return bestType;
}

bool IsNetworkFuseMount(const std::string& dir) {
    static const char* const kNetworkClients[] = {
        "fuse.sshfs",    "fuse.smbnetfs",  "fuse.rclone",    "fuse.s3fs",      "fuse.curlftpfs",
        "fuse.davfs",    "fuse.glusterfs", "fuse.ceph-fuse", "fuse.cephfs",    "fuse.mfs",
        "fuse.lizardfs", "fuse.juicefs",   "fuse.gcsfuse",   "fuse.goofys",    "fuse.blobfuse",
        "fuse.afpfs",    "fuse.nfs",       "fuse.fuse-nfs",  "fuse.seaweedfs", "fuse.beegfs"};
    const std::string type = MountTypeOf(dir);
    for (const char* client : kNetworkClients)
        if (type == client) return true;
    return false;
}
#endif

}  // namespace

bool IsNetworkFolder(const std::string& dir) {
    if (IsSharePath(dir)) return true;
    struct statfs fs {};
    if (dir.empty() || ::statfs(dir.c_str(), &fs) != 0) return false;
#if defined(__linux__)
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x01021997:  // 9p
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
        case 0x6B414653:  // kAFS
        case 0x73757245:  // Coda
        case 0x564C:      // NCP
        case 0x47504653:  // GPFS
        case 0x0BD00BD0:  // Lustre
        case 0x19830326:  // FhGFS / BeeGFS
        case 0x013111A8:  // IBRIX
        case 0x7461636F:  // OCFS2
            return true;
        case 0x65735546:  // FUSE: network only for the user-space clients of network protocols
            return IsNetworkFuseMount(dir);
        default:
            return false;
    }
#else
    // BSD and macOS name the file system type.
    const std::string type = fs.f_fstypename;
    return type == "nfs" || type == "smbfs" || type == "afpfs" || type == "webdav" ||
           type == "macfuse" || type == "osxfuse";
#endif
}

std::string FileSystemType(const std::string& dir) {
#if defined(__linux__)
    return MountTypeOf(dir);
#else
    struct statfs fs {};
    if (dir.empty() || ::statfs(dir.c_str(), &fs) != 0) return {};
    return fs.f_fstypename;
#endif
}

std::optional<DiskSpace> DiskSpaceOf(const std::string& dir) {
    struct statvfs fs {};
    struct stat st {};
    if (dir.empty() || ::statvfs(dir.c_str(), &fs) != 0 || ::stat(dir.c_str(), &st) != 0)
        return std::nullopt;
    // A file system with no blocks at all does not know its size (some FUSE and network
    // clients): its "0 free" says nothing.
    if (fs.f_blocks == 0) return std::nullopt;
    const unsigned long long unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    const unsigned long long available = static_cast<unsigned long long>(fs.f_bavail);
    constexpr unsigned long long kMax = static_cast<unsigned long long>(INT64_MAX);
    DiskSpace space;
    space.freeBytes =
        static_cast<std::int64_t>(unit != 0 && available > kMax / unit ? kMax : available * unit);
    space.volume = std::to_string(static_cast<unsigned long long>(st.st_dev));
    return space;
}

}  // namespace wirepace::platform
