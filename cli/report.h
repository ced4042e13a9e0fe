// SPDX-License-Identifier: MIT
// The figures of the runs of one invocation and their three output forms.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/benchmark_state.h"

namespace wirepace::cli {

struct TestFigures {
    std::string id, name;
    double ms = 0, bytes = 0, speed = 0;
    std::string sizeMB, comment;
    std::vector<double> droneMs;  // tests 6 to 8: each drone's own time, in drone order
};

struct RunFigures {
    std::string status;                   // "Finished", "Interrupted by user" or "ERROR"
    std::vector<TestFigures> tests;       // the tests the run completed, in order
    std::vector<std::string> errorLines;  // what the results box said about an error
    std::string note;                     // why the diagnoses stayed silent, or empty
};

// Takes the figures of the tests a run completed (those whose time is not empty).
RunFigures CollectFigures(const BenchmarkState& state, const std::string& status,
                          const std::string& resultsText);

struct SpeedSummary {
    std::string id, name;
    double min = 0, median = 0, max = 0;
    int runs = 0;
};
// Min, median and max speed per test over the runs that completed it.
std::vector<SpeedSummary> Summarise(const std::vector<RunFigures>& runs);

// Said once when no --dir was given, so nobody takes the figures for a network's.
std::string LocalDiskNote(const std::string& dir);

// The distinct diagnosis notes of the runs, in the order they first appeared.
std::vector<std::string> DistinctNotes(const std::vector<RunFigures>& runs);

void WriteText(std::ostream& out, const Options& options, const std::vector<RunFigures>& runs);
// Text that is not valid UTF-8 (names, folders and accounts are taken as they are) is written
// with replacement characters instead of failing.
void WriteJson(std::ostream& out, const Options& options, const std::string& dir,
               const std::vector<RunFigures>& runs);
void WriteCsv(std::ostream& out, const std::vector<RunFigures>& runs);

}  // namespace wirepace::cli
