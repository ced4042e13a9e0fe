// SPDX-License-Identifier: MIT
// `wirepace-cli history`: the runs of the results log, as text, JSON or CSV.
#pragma once

#include <ostream>

#include "cli/options.h"
#include "core/history.h"

namespace wirepace::cli {

// Reads the log and writes its runs. Returns the exit code: 0, or 1 when the log cannot be
// read or the output not written.
int RunHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err);

void WriteHistoryText(std::ostream& out, const std::vector<const LoggedRun*>& runs);
void WriteHistoryJson(std::ostream& out, const std::string& logPath, const LogHistory& history,
                      const std::vector<const LoggedRun*>& runs);
void WriteHistoryCsv(std::ostream& out, const std::vector<const LoggedRun*>& runs);

}  // namespace wirepace::cli
