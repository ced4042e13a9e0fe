// SPDX-License-Identifier: MIT
// The nine tests of a run, in the order they run. Constant data: every front end and report
// reads the same ids and titles.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace wirepace {

inline constexpr int kTestCount = 9;

struct CatalogueEntry {
    const char* id;
    const char* name;
};

// The titles keep their historical spelling ("THROUGHTPUT"): logs and reports key on them.
inline constexpr std::array<CatalogueEntry, kTestCount> kCatalogue = {{
    {"1a", "LOCAL TIME SMALL"},
    {"1b", "LOCAL TIME LARGE"},
    {"2", "OUTBOUND THROUGHTPUT SMALL"},
    {"3", "INBOUND THROUGHPUT SMALL"},
    {"4", "OUTBOUND THROUGHTPUT LARGE"},
    {"5", "INBOUND THROUGHTPUT LARGE"},
    {"6", "BI-DIRECTIONAL LARGE"},
    {"7", "OUTBOUND NETBIOS/TCP WINDOW TEST"},
    {"8", "INBOUND NETBIOS/TCP WINDOW TEST"},
}};

inline std::string TestId(int index) {
    return kCatalogue.at(static_cast<std::size_t>(index)).id;
}
inline std::string TestName(int index) {
    return kCatalogue.at(static_cast<std::size_t>(index)).name;
}

}  // namespace wirepace
