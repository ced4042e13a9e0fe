// SPDX-License-Identifier: MIT
// Turning one measurement into a speed and a diagnosis, and the results log.
#pragma once

#include <string>

#include "common/date_format.h"
#include "core/run_context.h"
#include "core/run_result.h"

namespace wirepace {

inline constexpr const char* kDuplexComment = "Possible Duplex Mismatch";
inline constexpr const char* kWindowComment = "Possible Netbios/TCP Window limitation";

// A timing shorter than this is mostly the clock's rounding and the start-up of the copy: a
// diagnosis that compares it would judge noise.
inline constexpr double kMinJudgedMs = 50;

inline constexpr const char* kLocalTargetNote = "target is a local disk: no network diagnosis";

// The result of test `testIndex` (speed, rounded ms, size in MB, comment), its line appended to
// the log first. For tests 6 to 8 the caller passes the bytes of all copies and the longest
// drone time (the time the link needed to move them all), so the speed is the aggregate; it is
// not multiplied again. A diagnosis is made only for a target reached over a network and
// timings of at least kMinJudgedMs; otherwise the run's note says once why: `newNote` gets it
// when this result set it.
TestResult RecordResult(RunContext& context, const std::string& testName, const std::string& dir,
                        int testIndex, double ms, double bytes, const DateTime& now,
                        std::string& newNote);

// The result line of a test, without its line end.
std::string ResultLine(const std::string& testName, const std::string& dir, const DateTime& now,
                       const std::string& testId, const std::string& msText,
                       const std::string& speedText, const std::string& comment);

// Appends `text` as a line to the log. The log's own failures say it was the log.
void LogLine(const RunContext& context, const std::string& text);

}  // namespace wirepace
