// SPDX-License-Identifier: MIT
// A test's course second by second, from the per-second samples of its result: a stall, a slow
// start or a cache that fills and then drops the rate show as the line's shape.
#pragma once

#include <string>
#include <vector>

#include "core/run_result.h"

namespace wirepace::report {

// One line of a timeline: the rate of each sample in KB/s and where it starts and ends, in
// seconds from the start of the test.
struct TimelineSeries {
    std::string label;  // "all copies", "Drone 1", ...
    std::vector<double> start, end, rate;
};

// The lines a test's timeline draws: for tests 6 to 8 one per drone where the drones' own
// samples exist, otherwise one for the test's samples; none when the test has no samples.
// The last sample of a line may cover part of a second: its rate counts only that part.
std::vector<TimelineSeries> TimelineOf(const TestResult& test);

// An <svg> element of the timeline, or of a box saying "no samples".
std::string TimelineSvg(const TestResult& test);

}  // namespace wirepace::report
