// SPDX-License-Identifier: MIT
// The connection types, their speed entries and the test-file sizes behind each entry.
#pragma once

#include <string>
#include <vector>

#include "core/benchmark_state.h"

namespace wirepace {

inline constexpr const char* kLanType = "Local Area Network (LAN)";
inline constexpr const char* kWanType = "Wide Area Network (WAN)";

struct SpeedRow {
    const char* speed;
    const char* smallKB;
    const char* largeKB;
};

// The rows for the displayed type text: the LAN rows when it is exactly the LAN entry, the WAN
// rows for anything else.
const std::vector<SpeedRow>& SpeedRowsFor(const std::string& typeText);

// The type handler's work on the state: replaces both size tables and returns the speed
// entries to show, in row order (the caller selects entry 0).
std::vector<std::string> ApplyConnectionType(BenchmarkState& state, const std::string& typeText);

}  // namespace wirepace
