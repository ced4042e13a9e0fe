// SPDX-License-Identifier: MIT
// One test's speed over the runs of its history, oldest first, the runs of this report marked.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wirepace::report {

struct TrendPoint {
    std::optional<double> speed;  // KB/s; none when that run did not complete the test
    bool current = false;         // a run of this report
    std::string label;            // the run's date and time, shown when pointed at
};

// An <svg> element: the speeds joined by a line (broken where a run lacks the test), each a
// dot, the current runs' dots larger and in their own colour.
std::string TrendSvg(const std::vector<TrendPoint>& points, const std::string& title);

}  // namespace wirepace::report
