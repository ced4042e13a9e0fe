// SPDX-License-Identifier: MIT
// Regional settings that numbers, dates and times are written with. The platform layer
// fills them once at start from the system; until then (and in tests) ISO-like defaults hold.
#pragma once

#include <string>

namespace wirepace {

struct RegionalSettings {
    std::string decimalSeparator = ".";
    std::string groupingSeparator = ",";
    std::string timeSeparator = ":";
    std::string dateSeparator = "-";
    // Date and time forms as date patterns (see FormatDateTime): the system's short date
    // and long time.
    std::string shortDatePattern = "yyyy/mm/dd";
    std::string longTimePattern = "hh:nn:ss";
    // What "AMPM" in a pattern writes before and after noon.
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
};

const RegionalSettings& Regional();
void SetRegional(const RegionalSettings& settings);

}  // namespace wirepace
