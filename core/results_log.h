// SPDX-License-Identifier: MIT
// Turning one measurement into a speed and a diagnosis, the results arrays and the results log.
#pragma once

#include <string>

#include "common/date_format.h"
#include "core/benchmark_state.h"
#include "core/main_window_io.h"

namespace wirepace {

inline constexpr const char* kDuplexComment = "Possible Duplex Mismatch";
inline constexpr const char* kWindowComment = "Possible Netbios/TCP Window limitation";

// Stores the result of test `testIndex` (speed, rounded ms, size in MB, comment), appends the
// result line to the log and to the results box. On return `ms` holds the rounded milliseconds.
// For tests 7 and 8 the caller passes the total bytes of the five copies and the mean time of
// one drone, so the speed is already the aggregate of the five; it is not multiplied again.
void RecordResult(BenchmarkState& state, MainWindowIO& window, int testIndex, double& ms,
                  double bytes);

// The same with a given clock reading, for tests.
void RecordResultAt(BenchmarkState& state, MainWindowIO& window, int testIndex, double& ms,
                    double bytes, const DateTime& now);

// The result line of a test, without its line end.
std::string ResultLine(const std::string& testName, const std::string& dir, const DateTime& now,
                       const std::string& testId, const std::string& msText,
                       const std::string& speedText, const std::string& comment);

// Replaces the results box with `text` and CR LF and appends `text` as a line to the log.
void LogLine(const BenchmarkState& state, MainWindowIO& window, const std::string& text);

}  // namespace wirepace
