// SPDX-License-Identifier: MIT
// The output forms of the runs of one invocation, all read from their results.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/run_result.h"

namespace wirepace::cli {

struct SpeedSummary {
    std::string id, name;
    double min = 0, median = 0, max = 0;
    int runs = 0;
};
// Min, median and max speed per test over the runs that completed it.
std::vector<SpeedSummary> Summarise(const std::vector<RunResult>& runs);

// Said once when no --dir was given, so nobody takes the figures for a network's.
std::string LocalDiskNote(const std::string& dir);

// The distinct diagnosis notes of the runs, in the order they first appeared.
std::vector<std::string> DistinctNotes(const std::vector<RunResult>& runs);

void WriteText(std::ostream& out, const Options& options, const std::vector<RunResult>& runs);
// Text that is not valid UTF-8 (names, folders and accounts are taken as they are) is written
// with replacement characters instead of failing.
void WriteJson(std::ostream& out, const Options& options, const std::string& dir,
               const std::vector<RunResult>& runs);
void WriteCsv(std::ostream& out, const std::vector<RunResult>& runs);

// One JSON object per line as the run goes (--format jsonl), each line flushed.
std::string JsonLine(const nlohmann::json& event);
nlohmann::json TestJson(const TestResult& test);
nlohmann::json RunJson(const RunResult& run);

}  // namespace wirepace::cli
