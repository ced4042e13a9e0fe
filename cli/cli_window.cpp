// SPDX-License-Identifier: MIT
#include "cli/cli_window.h"

#include "core/captions.h"

namespace wirepace::cli {

void CliWindow::SetStatusLine(const std::string& text) {
    status_ = text;
    // The test's title was printed with its number when the test started.
    if (text == startedTest_) return;
    // A status said twice in a row ("Stop" and the end of the run both say "Interrupted by
    // user") is printed once.
    if (text.empty() || text == lastPrinted_) return;
    if (reportSaysFinished && text == captions::kFinished) return;
    lastPrinted_ = text;
    progress_ << text << '\n' << std::flush;
}

void CliWindow::TestStarted(int index, const std::string& id, const std::string& name) {
    startedTest_ = name;
    lastPrinted_.clear();
    progress_ << "Test " << index + 1 << "/" << kTestCount << " (" << id << "): " << name << '\n'
              << std::flush;
}

void CliWindow::ShowMessage(const std::string& text) {
    progress_ << text << '\n' << std::flush;
}

}  // namespace wirepace::cli
