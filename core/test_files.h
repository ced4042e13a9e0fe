// SPDX-License-Identifier: MIT
// The small and the large test file the transfers move.
#pragma once

#include <string>

#include "core/benchmark_state.h"

namespace wirepace {

// Writes "Test" & KB & ".jnk" into AppDrive and returns that bare name. The size comes from the
// size table entry at `speedIndex` (LargeSizesKB when `large` is non-zero, else SmallSizesKB).
// An old file is deleted first; the content is written in 1024-byte blocks, one block per write
// call, because the two local tests time exactly this. Failures raise RuntimeError (9 for no
// entry, 13 for an entry that is not a number, the file error otherwise); a partly written file
// stays.
std::string CreateTestFile(const BenchmarkState& state, int speedIndex, int large);

}  // namespace wirepace
