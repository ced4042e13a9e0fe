// SPDX-License-Identifier: MIT
// What the run's diagnoses and notes mean, in plain words, for whoever reads the report.
#pragma once

#include <string>
#include <vector>

#include "core/run_result.h"

namespace wirepace::report {

struct Explanation {
    std::string title;  // what the run said, as it said it
    std::string tests;  // the tests it concerns ("6", "7, 8"), or ""
    std::string means, doesNotMean, checkNext;
};

// Each diagnosis and note of the runs, and the end of a run that did not finish, once each in
// the order the runs raised them; "No diagnosis" when a network target's comparisons were all
// made and found nothing.
std::vector<Explanation> Explain(const std::vector<RunResult>& runs);

}  // namespace wirepace::report
