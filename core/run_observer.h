// SPDX-License-Identifier: MIT
// How a front end follows a run: a few events, in order, carrying numbers; and the stop
// request it may make from any thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/run_result.h"

namespace wirepace {

// Asked for from any thread, and from a signal handler: a lock-free atomic store.
class StopToken {
    static_assert(std::atomic<bool>::is_always_lock_free);

  public:
    void Request() { requested_.store(true); }
    void Reset() { requested_.store(false); }
    bool Requested() const { return requested_.load(); }

  private:
    std::atomic<bool> requested_{false};
};

// How far the running test is.
struct TestProgress {
    int index = 0;  // in the catalogue
    std::string id;
    double bytes = 0;                // moved so far
    double totalBytes = 0;           // the test moves in all
    double elapsedMs = 0;            // since its clock started
    double rateKBs = 0;              // since the previous report, KB/s of 1024 bytes
    std::vector<double> droneBytes;  // tests 6 to 8: each drone's bytes so far
};

// A running test reports its progress at least this often.
inline constexpr double kProgressEveryMs = 250;

// Every event has an empty default, so a front end overrides only what it shows.
class RunObserver {
  public:
    virtual ~RunObserver() = default;

    virtual void RunStarted(const RunSettings& settings) { (void)settings; }
    // The target as the run shows it from now on (a trailing separator dropped or added,
    // separators normalised).
    virtual void TargetShown(const std::string& dir) { (void)dir; }
    // The two status lines: with isTest the second is the test's id.
    virtual void Status(const std::string& line1, const std::string& line2, bool isTest) {
        (void)line1;
        (void)line2;
        (void)isTest;
    }
    // A line the run wrote to the results log that begins a new part of its report (the
    // start banner, an error line): the results box starts again with it.
    virtual void LogLine(const std::string& line) { (void)line; }
    // Test `index` of the catalogue begins; it will move `bytes`.
    virtual void TestStarted(int index, const std::string& id, const std::string& name,
                             double bytes) {
        (void)index;
        (void)id;
        (void)name;
        (void)bytes;
    }
    // At least every kProgressEveryMs while a test moves its bytes, and once at its end.
    virtual void Progress(const TestProgress& progress) { (void)progress; }
    virtual void ResultRecorded(const TestResult& result) { (void)result; }
    // Why the diagnoses stay silent, said once per run.
    virtual void Note(const std::string& text) { (void)text; }
    // A line for the user below the results (advice after an error, a mapping left).
    virtual void Message(const std::string& text) { (void)text; }
    // A failure to acknowledge (a cleanup that could not finish).
    virtual void Alert(const std::string& text) { (void)text; }
    virtual void RunFinished(const RunResult& result) { (void)result; }
};

}  // namespace wirepace
