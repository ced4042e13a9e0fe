// SPDX-License-Identifier: MIT
// The spread of each test's speed over the repetitions of one invocation (--repeat).
#pragma once

#include <string>
#include <vector>

#include "core/run_result.h"

namespace wirepace::report {

struct SpeedSummary {
    std::string id, name;
    double min = 0, median = 0, max = 0;
    int runs = 0;
};

// Min, median and max speed per test over the runs that completed it, in test order.
std::vector<SpeedSummary> Summarise(const std::vector<RunResult>& runs);

}  // namespace wirepace::report
