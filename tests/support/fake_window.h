// SPDX-License-Identifier: MIT
// A main window without widgets: the core's view of it, recorded for the tests to read.
#pragma once

#include <string>
#include <vector>

#include "core/main_window_io.h"

namespace wirepace::testing {

class FakeWindow : public MainWindowIO {
  public:
    std::string testId = "MyServer", dirPath, userName, password;
    int speedIndex = 0;
    std::string nextCaption = "Run Tests", backCaption = "New Test";
    bool nextEnabled = true, backVisible = true, busy = false, resultsPage = false;
    bool reportsOpened = false, closed = false;
    int focusCount = 0;
    std::string status, instruction, results;
    std::vector<std::string> messages, statusHistory, instructionHistory;
    int currentTest = -1;  // the test the run last started
    std::vector<int> startedTests;

    std::string TestId() const override { return testId; }
    std::string DirPath() const override { return dirPath; }
    void SetDirPath(const std::string& text) override { dirPath = text; }
    std::string UserName() const override { return userName; }
    std::string Password() const override { return password; }
    int SelectedSpeedIndex() const override { return speedIndex; }
    std::string NextCaption() const override { return nextCaption; }
    void SetNextCaption(const std::string& c) override { nextCaption = c; }
    void SetNextEnabled(bool e) override { nextEnabled = e; }
    std::string BackCaption() const override { return backCaption; }
    void SetBackCaption(const std::string& c) override { backCaption = c; }
    void SetBackVisible(bool v) override { backVisible = v; }
    void SetStatusLine(const std::string& t) override {
        status = t;
        statusHistory.push_back(t);
    }
    void SetInstructionLine(const std::string& t) override {
        instruction = t;
        instructionHistory.push_back(t);
    }
    void TestStarted(int index, const std::string&, const std::string&) override {
        currentTest = index;
        startedTests.push_back(index);
    }
    std::string ResultsText() const override { return results; }
    void SetResultsText(const std::string& t) override { results = t; }
    void FocusResultsAtEnd() override { ++focusCount; }
    void SetBusy(bool b) override { busy = b; }
    void ShowResultsPage() override { resultsPage = true; }
    void OpenReports() override { reportsOpened = true; }
    void CloseWindow() override { closed = true; }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
};

}  // namespace wirepace::testing
