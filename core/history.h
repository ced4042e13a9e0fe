// SPDX-License-Identifier: MIT
// The earlier runs, read back from the results log: the banners delimit the runs, the result
// lines give their figures. Lines the program did not write (or wrote in a form it no longer
// knows) are skipped and counted, never fatal.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wirepace {

// One result line of the log.
struct LoggedTest {
    int index = 0;  // in the catalogue, 0 to 8
    std::string id;
    double ms = 0;
    double speed = 0;  // KB/s
    std::string comment;
    std::string date, time;  // as the log wrote them (the regional short date; "hh:mm:ss.ms")
    std::string line;        // the whole line, without its line end
};

struct LoggedRun {
    std::string name, dir;                // as the result lines give them
    std::string startTime;                // the banner's time; "" for results that follow no banner
    std::vector<LoggedTest> tests;        // in log order, each test at most once
    std::vector<std::string> otherLines;  // its "-- ... --" lines after the banner (errors)

    const LoggedTest* Find(int index) const;
    // The date of its first result.
    std::string Date() const { return tests.empty() ? std::string() : tests.front().date; }
};

struct LogHistory {
    std::vector<LoggedRun> runs;  // runs with at least one result, in log order
    int skippedLines = 0;         // lines that are neither a banner, a result nor a "-- --" line
    int runsWithoutResults = 0;   // banners no result followed (a run that failed at once)
};

// Reads a log's text; CR LF or LF line ends.
LogHistory ParseResultsLog(std::string_view text);

// Reads the log file; a missing log is an empty history. Raises RuntimeError when it exists
// but cannot be read.
LogHistory ReadResultsLog(const std::string& path);

// The same target however it was typed: either separator, with or without the trailing one.
bool SameTarget(const std::string& a, const std::string& b);

// The runs of one test name and target, in log order; an empty filter matches every run.
std::vector<const LoggedRun*> SelectRuns(const LogHistory& history,
                                         const std::optional<std::string>& name,
                                         const std::optional<std::string>& dir);

}  // namespace wirepace
