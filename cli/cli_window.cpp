// SPDX-License-Identifier: MIT
#include "cli/cli_window.h"

namespace wirepace::cli {

void CliWindow::SetStatusLine(const std::string& text) {
    status_ = text;
    // Test titles are printed with their number by the instruction line that follows.
    for (const auto& name : state_.TestNames)
        if (text == name) return;
    // A status said twice in a row ("Stop" and the end of the run both say "Interrupted by
    // user") is printed once.
    if (text.empty() || text == lastPrinted_) return;
    if (reportSaysFinished && text == "Finished") return;
    lastPrinted_ = text;
    progress_ << text << '\n' << std::flush;
}

void CliWindow::SetInstructionLine(const std::string& text) {
    const std::string prefix = "Running Test ";
    if (text.rfind(prefix, 0) != 0) return;
    for (int i = 0; i < kTestCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (text == prefix + state_.TestIds[index] + ". Please wait...") {
            lastPrinted_.clear();
            progress_ << "Test " << i + 1 << "/" << kTestCount << " (" << state_.TestIds[index]
                      << "): " << state_.TestNames[index] << '\n'
                      << std::flush;
            return;
        }
    }
}

void CliWindow::ShowMessage(const std::string& text) {
    progress_ << text << '\n' << std::flush;
}

}  // namespace wirepace::cli
