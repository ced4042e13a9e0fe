// SPDX-License-Identifier: MIT
#include "core/connection_settings.h"

namespace wirepace {

const std::vector<SpeedRow>& SpeedRowsFor(const std::string& typeText) {
    // "1gb" and "10gb" give links of today files that take more than a moment to cross.
    static const std::vector<SpeedRow> lan = {{"10mb", 1024, 10240},
                                              {"100mb", 10240, 102400},
                                              {"1gb", 102400, 1048576},
                                              {"10gb", 1048576, 10485760}};
    static const std::vector<SpeedRow> wan = {{"<256", 16, 160},    {"256-512", 28, 280},
                                              {"512-768", 50, 500}, {"768-T1", 80, 800},
                                              {"T1", 160, 1600},    {">T1", 350, 3500}};
    return typeText == kLanType ? lan : wan;
}

std::vector<std::string> SpeedEntriesFor(const std::string& typeText) {
    std::vector<std::string> speeds;
    for (const auto& row : SpeedRowsFor(typeText)) speeds.emplace_back(row.speed);
    return speeds;
}

}  // namespace wirepace
