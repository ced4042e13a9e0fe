// SPDX-License-Identifier: MIT
// Room for a run: what it holds at its peak in the work root and in the target, checked against
// what their file systems still take before the first test file is written, so a full disk is
// said at the start rather than found at test 7.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/run_settings.h"
#include "platform/platform.h"

namespace wirepace {

struct SpaceNeeded {
    std::int64_t workRootBytes = 0;
    std::int64_t targetBytes = 0;
};

// The most a run with these sizes holds at once. The work root: five copies of the large file
// and the five drones (tests 7 and 8). The target: five copies of the large file (test 7). The
// small file never lies beside more than two large ones, so it never adds to the peak.
SpaceNeeded SpaceNeededFor(const RunSettings& settings, std::int64_t droneBytes);

// Reads a folder's free space; the platform's DiskSpaceOf unless a test stands in.
using DiskSpaceReader = std::function<std::optional<platform::DiskSpace>(const std::string&)>;

// One folder to check: where files go, and how the user knows it.
struct SpaceFolder {
    std::string path;   // as the run's files use it
    std::string shown;  // as messages name it
    std::int64_t neededBytes = 0;
};

// Raises 61 ("Disk full") naming the folder, the space the run needs there and the space that is
// free when a folder lacks room; two folders on one file system must have room for both. A
// folder whose free space cannot be read is not checked: a refusal there could be false (some
// network file systems report no size), and the copies still fail cleanly if it is full. One
// line per such folder is returned for the run to say.
std::vector<std::string> CheckFreeSpace(const std::vector<SpaceFolder>& folders,
                                        const DiskSpaceReader& read);

// Bytes as megabytes of 1024 x 1024 with one decimal, rounded up or down ("5120.0 MB").
std::string MegabytesText(std::int64_t bytes, bool roundUp);

}  // namespace wirepace
