// SPDX-License-Identifier: MIT
// The results window's behaviour, written once against a small abstract view, as the main
// window's is in wizard.h: "Close" and Esc close it; "Save Report..." asks where to put the
// HTML report of the window's run (a file dialog offering a name made of the test name and the
// run's date) and writes it there, saying so when it cannot.
//
// The main window offers the reports again as long as it shows a run's results: after a run
// cmdNext reads "View Reports" until "Back" or "New Test" leave the results page, and a click
// opens the results window again after it was closed (or brings the open one forward).
#pragma once

#include <optional>
#include <string>

namespace wirepace::ui::forms {

class GraphView {
  public:
    virtual ~GraphView() = default;
    // The file dialog, opened on `suggestedName` (a file name without a folder): the chosen
    // path, or "" when the user cancelled.
    virtual std::string AskReportPath(const std::string& suggestedName) = 0;
    // Writes the report of the window's run to `path`: nullopt, or what went wrong in words.
    virtual std::optional<std::string> WriteReport(const std::string& path) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void CloseWindow() = 0;
};

// "NAME yyyy-mm-dd hhnn.html" with the run's local start time: characters no file name may
// hold become "_"; without a start time, "NAME.html".
std::string ReportFileName(const std::string& testName, double startedAt);

void cmdSaveReport_Click(GraphView& view, const std::string& testName, double startedAt);
// Also what Esc does (the button marked isCancel in GraphForm()).
void cmdClose_Click(GraphView& view);

}  // namespace wirepace::ui::forms
