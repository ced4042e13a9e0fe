// SPDX-License-Identifier: MIT
// The main window's action button: a whole run of the nine tests, stopping, the reports and
// leaving. Everything runs on the caller's thread; pending events get through only where the
// run pumps (Pause, the drone waits, once before the mapping).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/benchmark_state.h"
#include "core/drone_fleet.h"
#include "core/main_window_io.h"
#include "core/target_lock.h"

namespace wirepace {

class TestSequence {
  public:
    TestSequence(BenchmarkState& state, MainWindowIO& window);

    // The click handler of cmdNext, dispatching on its caption.
    void cmdNext_Click();

    // Sets the two status lines; with isTest the instruction line reads
    // "Running Test " & line2 & ". Please wait...".
    void ShowStatus(const std::string& line1, const std::string& line2, bool isTest);

    // A close of the main window: during a run the run stops, cleans up and then closes the
    // window; otherwise the window may close at once (true).
    bool RequestClose();

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }

    // How long a drone's copy may make no progress before the test ends with an error.
    void SetStallTimeoutSeconds(int seconds) { stallTimeoutSeconds_ = seconds; }

    // Stands in for the file-system check that tells a network target from a local disk.
    void SetNetworkProbe(std::function<bool(const std::string&)> probe) {
        isNetworkFolder_ = std::move(probe);
    }

  private:
    void RunTests();
    void Stop();
    void FinishRun(const std::string& status);
    void HandleError(int number, const std::string& description);
    void RunTest(int index, double& elapsed, double& bytes);
    void CollectDrones(int index, int droneCount, double& elapsed);
    std::string TargetDir() const;

    BenchmarkState& state_;
    MainWindowIO& window_;
    DroneFleet fleet_;
    std::unique_ptr<TargetLock> targetLock_;
    std::function<bool(const std::string&)> isNetworkFolder_;
    int stallTimeoutSeconds_ = 120;
    bool stopRequested_ = false;
    bool running_ = false;
    bool closeRequested_ = false;
    bool workRootSwept_ = false;
    bool targetSwept_ = false;
};

}  // namespace wirepace
