// SPDX-License-Identifier: MIT
// Follows a run through the engine's events and keeps them for the tests to read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/run_observer.h"

namespace wirepace::testing {

class RecordingObserver : public RunObserver {
  public:
    // Every event in order, as "kind" or "kind:detail", so tests can check the order.
    std::vector<std::string> events;
    std::vector<std::string> statuses;  // first status line, each time it was set
    std::vector<std::string> logLines, messages, alerts, notes;
    std::vector<int> startedTests;
    std::vector<double> startedBytes;
    std::vector<TestResult> results;
    std::vector<TestProgress> progress;
    std::string shownDir;
    std::optional<RunResult> finished;

    // The test the run is at, or -1 before the first.
    int CurrentTest() const { return startedTests.empty() ? -1 : startedTests.back(); }

    void RunStarted(const RunSettings&) override { events.push_back("started"); }
    void TargetShown(const std::string& dir) override {
        shownDir = dir;
        events.push_back("target:" + dir);
    }
    void Status(const std::string& line1, const std::string& line2, bool isTest) override {
        statuses.push_back(line1);
        events.push_back("status:" + line1 + (isTest ? " (" + line2 + ")" : ""));
    }
    void LogLine(const std::string& line) override {
        logLines.push_back(line);
        events.push_back("log");
    }
    void TestStarted(int index, const std::string&, const std::string&, double bytes) override {
        startedTests.push_back(index);
        startedBytes.push_back(bytes);
        events.push_back("test:" + std::to_string(index));
    }
    void Progress(const TestProgress& p) override {
        progress.push_back(p);
        events.push_back("progress");
    }
    void ResultRecorded(const TestResult& result) override {
        results.push_back(result);
        events.push_back("result:" + std::to_string(result.index));
    }
    void Note(const std::string& text) override {
        notes.push_back(text);
        events.push_back("note");
    }
    void Message(const std::string& text) override {
        messages.push_back(text);
        events.push_back("message");
    }
    void Alert(const std::string& text) override {
        alerts.push_back(text);
        events.push_back("alert");
    }
    void RunFinished(const RunResult& result) override {
        finished = result;
        events.push_back("finished");
    }
};

}  // namespace wirepace::testing
