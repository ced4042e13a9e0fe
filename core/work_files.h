// SPDX-License-Identifier: MIT
// The files a run leaves in the work root and the target, and removing them: at the start of
// every run (what an abnormally ended run left) and at its end, however it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/run_context.h"
#include "platform/platform.h"

namespace wirepace {

// Removes every file of this program's naming from the work root. A symbolic link under such a
// name is removed itself, never followed. Raises, naming the file, when one cannot be removed.
void SweepWorkRoot(const std::string& workRoot);
// The same through the work root opened at the start of the run.
void SweepWorkRoot(const platform::FolderHandle& workRoot);

// The same in the target folder, for the test and work files a run copies there. A link or
// anything but a plain file under such a name is refused: it is not ours to touch.
void SweepTarget(const std::string& dir);
void SweepTarget(const platform::FolderHandle& dir);

// Every file a run with test files of these sizes can make, in the work root and in `dir`:
// what an interrupt that cannot wait for the run's own cleanup removes.
std::vector<std::string> RunFilePaths(const RunContext& state, std::int32_t smallKB,
                                      std::int32_t largeKB, const std::string& dir);

}  // namespace wirepace
