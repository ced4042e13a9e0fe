// SPDX-License-Identifier: MIT
#include "core/free_space.h"

#include "common/error.h"

namespace wirepace {

SpaceNeeded SpaceNeededFor(const RunSettings& settings, std::int64_t droneBytes) {
    const std::int64_t large = std::int64_t{settings.largeKB} * 1024;
    SpaceNeeded need;
    need.workRootBytes = 5 * large + 5 * droneBytes;
    need.targetBytes = 5 * large;
    return need;
}

std::string MegabytesText(std::int64_t bytes, bool roundUp) {
    constexpr std::int64_t kMB = 1024 * 1024;
    // Counted in exact tenths, so a refusal never shows the need and the free space equal.
    std::int64_t tenths = bytes / kMB * 10 + bytes % kMB * 10 / kMB;
    if (roundUp && bytes % kMB * 10 % kMB != 0) ++tenths;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::vector<std::string> CheckFreeSpace(const std::vector<SpaceFolder>& folders,
                                        const DiskSpaceReader& read) {
    std::vector<std::string> unchecked;
    struct Volume {
        platform::DiskSpace space;
        std::string shown;
        std::int64_t needed = 0;
    };
    std::vector<Volume> volumes;
    for (const SpaceFolder& folder : folders) {
        const std::optional<platform::DiskSpace> space = read(folder.path);
        if (!space) {
            unchecked.push_back("The free space in " + folder.shown +
                                " cannot be read: not checked before the run.");
            continue;
        }
        bool shared = false;
        for (Volume& v : volumes) {
            if (v.space.volume != space->volume || space->volume.empty()) continue;
            v.shown += " and " + folder.shown;
            v.needed += folder.neededBytes;
            shared = true;
        }
        if (!shared) volumes.push_back({*space, folder.shown, folder.neededBytes});
    }
    for (const Volume& v : volumes) {
        if (v.needed <= v.space.freeBytes) continue;
        const std::string where =
            v.shown.find(" and ") == std::string::npos ? v.shown : v.shown + " (one file system)";
        throw RuntimeError(kErrDiskFull, "Not enough free space in " + where + ": the run needs " +
                                             MegabytesText(v.needed, true) + ", " +
                                             MegabytesText(v.space.freeBytes, false) + " are free");
    }
    return unchecked;
}

}  // namespace wirepace
