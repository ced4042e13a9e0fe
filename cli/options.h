// SPDX-License-Identifier: MIT
// The command line of wirepace-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/run_settings.h"

namespace wirepace::cli {

enum class OutputFormat { Text, Json, Csv, Jsonl, OpenMetrics };

struct Options {
    std::string name = "wirepace-cli";
    // "lan" or "wan". When --type is not given: the list that holds --speed; without --speed
    // either, "wan" with --dir and LAN "100mb" for the built-in local folder.
    std::string type = "wan";
    std::string speed;  // an entry of the type's speed list; empty: the first
    std::string dir;    // empty: the built-in local target folder
    std::string user;
    bool passwordFromStdin = false;
    std::string passwordFile;  // the password's file, readable by its owner alone; or empty
    int repeat = 1;
    OutputFormat format = OutputFormat::Text;
    FillMode fill = FillMode::Zero;
    int stallTimeoutSeconds = 120;  // a drone's copy without progress for this long fails
    std::string metricsFile;        // replaced after the runs with their metrics; or empty
    std::string reportPath;         // --report: the HTML report written at the end, or ""

    // Derived while checking: the displayed type text.
    std::string typeText;
};

// `wirepace-cli history`: the runs of the results log.
struct HistoryOptions {
    std::optional<std::string> name, dir;  // only the runs of this test name and target
    OutputFormat format = OutputFormat::Text;
    std::string logPath;  // empty: this user's results log
};

struct ParseResult {
    std::optional<Options> options;         // set when a run should start
    std::optional<HistoryOptions> history;  // set when the history was asked for
    int exitCode = 0;                       // otherwise: 0 after --help, 2 for bad options
    std::string output;                     // help text or the error message
};

ParseResult ParseOptions(int argc, const char* const* argv);

// The folder a run with no --dir measures: inside the work root, so the run measures this
// machine end to end.
std::string DefaultTargetFolder(const std::string& workRoot);

}  // namespace wirepace::cli
