// SPDX-License-Identifier: MIT
#include "common/regional.h"

namespace wirepace {

namespace {
RegionalSettings& Current() {
    static RegionalSettings settings;
    return settings;
}
}  // namespace

const RegionalSettings& Regional() {
    return Current();
}
void SetRegional(const RegionalSettings& settings) {
    Current() = settings;
}

}  // namespace wirepace
