// SPDX-License-Identifier: MIT
// The connection types, their speed entries and the test-file sizes behind each entry.
#pragma once

#include <string>
#include <vector>

#include <cstdint>

namespace wirepace {

inline constexpr const char* kLanType = "Local Area Network (LAN)";
inline constexpr const char* kWanType = "Wide Area Network (WAN)";

// One entry of a type's speed list and the sizes of its two test files, in KB of 1024 bytes.
struct SpeedRow {
    const char* speed;
    std::int32_t smallKB;
    std::int32_t largeKB;
};

// The rows for the displayed type text: the LAN rows when it is exactly the LAN entry, the WAN
// rows for anything else.
const std::vector<SpeedRow>& SpeedRowsFor(const std::string& typeText);

// The speed entries of a type, in row order.
std::vector<std::string> SpeedEntriesFor(const std::string& typeText);

}  // namespace wirepace
