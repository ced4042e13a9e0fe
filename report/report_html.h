// SPDX-License-Identifier: MIT
// The report of a run as one self-contained HTML file, to keep and to send: what was measured,
// the results table and the bar chart of the results window, a timeline per test, each
// diagnosis explained, and the earlier runs of the same test and target from the results log.
// Styles and charts are inline (SVG): opening it needs no network.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "core/history.h"
#include "core/run_result.h"

namespace wirepace::report {

struct ReportSource {
    // The runs of one invocation in order: one, or each repetition of --repeat. The first names
    // the test and the target.
    std::vector<RunResult> runs;
    LogHistory history;          // the results log as it was read
    std::string historyProblem;  // why the log could not be read, or ""
    std::string logPath;
    std::string host;     // this machine
    std::string version;  // this program
};

// The source of the report of `runs`: the results log read from `logPath`, this machine's
// name and the program's version.
ReportSource GatherReport(std::vector<RunResult> runs, const std::string& logPath);

std::string ReportHtml(const ReportSource& source);

// Words for what the target is: "an NFS export", "a local disk (ext4)", ...
std::string TargetKindText(const RunResult& run);

// Gathers the report of `runs` and puts it at `path` in one step: the file is there whole or,
// when writing fails, as it was before (nothing partial, no temporary file left). Raises
// RuntimeError.
void SaveReport(const std::string& path, const std::vector<RunResult>& runs,
                const std::string& logPath);

// Why a report could not be written to `path`, found out before a run: a folder that is
// missing or may not be written, a name that is a folder or a link. nullopt when it can be.
std::optional<std::string> CheckReportPath(const std::string& path);

// What a failed SaveReport says: "Cannot write the report to PATH: Permission denied [70]".
std::string SaveFailureText(const std::string& path, const RuntimeError& error);

}  // namespace wirepace::report
