// SPDX-License-Identifier: MIT
// The results as metrics a monitoring system collects: the text exposition format that
// Prometheus reads, node_exporter's and windows_exporter's textfile collectors among them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/run_result.h"

namespace wirepace::cli {

// What one invocation of wirepace-cli did, as its metrics say it.
struct MetricsInput {
    // The labels every series carries: the test name, the target as typed, "lan" or "wan",
    // the speed entry.
    std::string name, target, type, speed;
    int repeat = 1;               // the runs asked for
    std::vector<RunResult> runs;  // the runs that took place, in order
    // An error that ended the invocation outside any run (a second instance, a refused
    // password file, settings the engine refused): its number, 0 when it has none.
    std::optional<int> failure;
    std::int64_t startedAt = 0;  // seconds since 1970-01-01 00:00 UTC
};

// The whole exposition, ending in "# EOF". Speeds in bytes per second, times in seconds,
// sizes in bytes: the base units the format's conventions ask for.
std::string MetricsText(const MetricsInput& input);

// A label value as the format writes it between its quotes: backslash, double quote and line
// feed escaped, text that is not valid UTF-8 given replacement characters (U+FFFD).
std::string LabelValue(const std::string& text);

// Writes the metrics of this invocation where the options ask for them (--format openmetrics,
// --metrics-file), however the invocation ends, so a collector never shows the numbers of an
// earlier run as if they were the last.
class MetricsOutput {
  public:
    // Notes when the invocation began.
    explicit MetricsOutput(const Options& options);

    // The invocation ends with an error outside any run: says so, and returns `exitCode`, or
    // 1 instead of 0 when the metrics could not be written.
    int EndWithError(int number, int exitCode, std::ostream& out, std::ostream& err);
    // An error between runs that the runs themselves do not carry.
    void NoteError(int number) { input_.failure = number; }
    // The invocation ends after its runs; returns the exit code as EndWithError does.
    int End(int exitCode, const std::string& target, const std::vector<RunResult>& runs,
            std::ostream& out, std::ostream& err);

  private:
    int Write(int exitCode, std::ostream& out, std::ostream& err);

    MetricsInput input_;
    bool toOutput_;
    std::string file_;
};

}  // namespace wirepace::cli
