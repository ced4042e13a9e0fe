// SPDX-License-Identifier: MIT
#include "ui/forms/graph_window.h"

#include <string_view>

#include "common/date_format.h"

namespace wirepace::ui::forms {

std::string ReportFileName(const std::string& testName, double startedAt) {
    std::string name;
    for (char c : testName) {
        const auto byte = static_cast<unsigned char>(c);
        // What Windows refuses in a file name, and the separators of every system.
        const bool refused = byte < 0x20 || byte == 0x7F ||
                             std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
        name += refused ? '_' : c;
    }
    // Windows drops trailing dots and blanks from a name; a name of nothing but them is none.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    if (name.empty()) name = "Wirepace";
    if (startedAt > 0) name += " " + FormatDateTime(DateTime::Local(startedAt), "yyyy-mm-dd hhnn");
    return name + ".html";
}

void cmdSaveReport_Click(GraphView& view, const std::string& testName, double startedAt) {
    const std::string path = view.AskReportPath(ReportFileName(testName, startedAt));
    if (path.empty()) return;
    if (const auto problem = view.WriteReport(path)) view.ShowMessage(*problem);
}

void cmdClose_Click(GraphView& view) {
    view.CloseWindow();
}

}  // namespace wirepace::ui::forms
