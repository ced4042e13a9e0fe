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
#include "report/summary.h"

namespace wirepace::cli {

// The same spread the HTML report shows.
using report::SpeedSummary;
using report::Summarise;

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
// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& text);

// --report: the HTML report of the runs, with the history of the log at `logPath`. A failure
// is said on `err`; returns whether the report was written (or there was nothing to report).
bool WriteHtmlReport(const std::string& path, const std::vector<RunResult>& runs,
                     const std::string& logPath, std::ostream& err);

// One JSON object per line as the run goes (--format jsonl), each line flushed.
std::string JsonLine(const nlohmann::json& event);
nlohmann::json TestJson(const TestResult& test);
nlohmann::json RunJson(const RunResult& run);

}  // namespace wirepace::cli
