// SPDX-License-Identifier: MIT
#include "report/summary.h"

#include <algorithm>

namespace wirepace::report {

std::vector<SpeedSummary> Summarise(const std::vector<RunResult>& runs) {
    std::vector<SpeedSummary> summary;
    std::vector<std::vector<double>> speeds;
    for (const auto& run : runs) {
        for (const auto& t : run.tests) {
            auto it = std::find_if(summary.begin(), summary.end(),
                                   [&](const SpeedSummary& s) { return s.id == t.id; });
            if (it == summary.end()) {
                summary.push_back({t.id, t.name});
                speeds.emplace_back();
                it = summary.end() - 1;
            }
            speeds[static_cast<std::size_t>(it - summary.begin())].push_back(t.speed);
        }
    }
    for (std::size_t i = 0; i < summary.size(); ++i) {
        auto& v = speeds[i];
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        summary[i].runs = static_cast<int>(n);
        summary[i].min = v.front();
        summary[i].max = v.back();
        summary[i].median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    return summary;
}

}  // namespace wirepace::report
