// SPDX-License-Identifier: MIT
// The small and the large test file the transfers move.
#pragma once

#include <cstdint>
#include <string>

#include "core/run_context.h"
#include "platform/platform.h"

namespace wirepace {

// The bare name of the test file of `kb` kilobytes: "Test" & KB & ".jnk".
std::string PayloadFileName(std::int32_t kb);

// Writes the test file of `kb` kilobytes (1024 bytes) into AppDrive and returns its bare name.
// An old file is deleted first; the content is written in 1024-byte blocks, one block per write
// call, because the two local tests time exactly this. A negative size raises 6 (overflow), a
// failed write the file error; a partly written file stays. `progress` is told the bytes written
// after every megabyte and at the end; a false from it stops the writing with RunInterrupted.
std::string CreateTestFile(const RunContext& context, std::int32_t kb,
                           const platform::CopyProgress& progress = {});

}  // namespace wirepace
