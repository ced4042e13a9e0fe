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

// A timing shorter than this is mostly the clock's rounding and the start-up of the copy: a
// diagnosis that compares it would judge noise.
inline constexpr double kMinJudgedMs = 50;

inline constexpr const char* kLocalTargetNote = "target is a local disk: no network diagnosis";

// Stores the result of test `testIndex` (speed, rounded ms, size in MB, comment), appends the
// result line to the log and to the results box. On return `ms` holds the rounded milliseconds.
// For tests 6 to 8 the caller passes the bytes of all copies and the longest drone time (the
// time the link needed to move them all), so the speed is the aggregate; it is not multiplied
// again. A diagnosis is made only for a target reached over a network and timings of at least
// kMinJudgedMs; otherwise the results box says once why (state.DiagnosisNote).
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
