// SPDX-License-Identifier: MIT
// The main window as the command line sees it: the settings come from the options, the status
// lines go to standard error as progress.
#pragma once

#include <ostream>
#include <string>

#include "core/benchmark_state.h"
#include "core/captions.h"
#include "core/main_window_io.h"

namespace wirepace::cli {

class CliWindow : public MainWindowIO {
  public:
    explicit CliWindow(std::ostream& progress) : progress_(progress) {}

    std::string testId, dirPath, userName, password;
    int speedIndex = 0;

    std::string TestId() const override { return testId; }
    std::string DirPath() const override { return dirPath; }
    void SetDirPath(const std::string& text) override { dirPath = text; }
    std::string UserName() const override { return userName; }
    std::string Password() const override { return password; }
    int SelectedSpeedIndex() const override { return speedIndex; }

    std::string NextCaption() const override { return nextCaption_; }
    void SetNextCaption(const std::string& caption) override { nextCaption_ = caption; }
    void SetNextEnabled(bool) override {}
    std::string BackCaption() const override { return backCaption_; }
    void SetBackCaption(const std::string& caption) override { backCaption_ = caption; }
    void SetBackVisible(bool) override {}

    void SetStatusLine(const std::string& text) override;
    // The instruction line repeats what the status line and TestStarted tell.
    void SetInstructionLine(const std::string&) override {}
    void TestStarted(int index, const std::string& id, const std::string& name) override;
    const std::string& Status() const { return status_; }

    std::string ResultsText() const override { return results_; }
    void SetResultsText(const std::string& text) override { results_ = text; }
    void FocusResultsAtEnd() override {}

    void SetBusy(bool) override {}
    void ShowResultsPage() override {}
    void OpenReports() override {}
    void CloseWindow() override {}
    void ShowMessage(const std::string& text) override;

    // Text output starts each run's report with its status, so progress leaves "Finished" to it.
    bool reportSaysFinished = false;

    // Ready for the next run: the button reads "Run Tests" again.
    void ResetForRun() {
        nextCaption_ = captions::kRunTests;
        lastPrinted_.clear();
        startedTest_.clear();
    }

  private:
    std::ostream& progress_;
    std::string nextCaption_ = captions::kRunTests;
    std::string backCaption_ = captions::kNewTest;
    std::string status_;
    std::string lastPrinted_;
    std::string startedTest_;
    std::string results_;
};

}  // namespace wirepace::cli
