// SPDX-License-Identifier: MIT
// The results graph window: a bar chart of the network tests and a table of all nine tests,
// built once from a run's result when it is loaded.
#pragma once

#include <string>

#include "core/run_result.h"

class QWidget;

namespace wirepace::ui {

// Loads the one shared instance (creating it when not open) and shows it modeless; when it is
// already open nothing changes but that it comes to the front. "Save Report..." writes the
// report of `result` with the history of the results log at `logPath`.
void LoadTestGraph(const RunResult& result, const std::string& testName,
                   const std::string& logPath = "");

// Closes it if open (the main window's close closes every window).
void CloseTestGraph();

// The open instance or nullptr (for tests).
QWidget* TestGraphWindow();

}  // namespace wirepace::ui
