// SPDX-License-Identifier: MIT
// The main window's action button: a whole run of the nine tests, stopping, the reports and
// leaving. Everything runs on the caller's thread; pending events get through only where the
// run pumps (Pause, the drone waits, once before the mapping).
#pragma once

#include <string>

#include "core/benchmark_state.h"
#include "core/drone_fleet.h"
#include "core/main_window_io.h"

namespace wirepace {

class TestSequence {
  public:
    TestSequence(BenchmarkState& state, MainWindowIO& window) : state_(state), window_(window) {}

    // The click handler of cmdNext, dispatching on its caption.
    void cmdNext_Click();

    // Sets the two status lines; with isTest the instruction line reads
    // "Running Test " & line2 & ". Please wait...".
    void ShowStatus(const std::string& line1, const std::string& line2, bool isTest);

    // A close of the main window: during a run the run stops before its next step, cleans up
    // and then closes the window; otherwise the window may close at once (true).
    bool RequestClose();

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }

    // How long a drone's copy may make no progress before the test ends with an error.
    void SetStallTimeoutSeconds(int s) { stallTimeoutSeconds_ = s; }

  private:
    void RunTests();
    void Stop();
    void FinishRun(const std::string& status);
    void RemoveBaseLargeFiles();
    void HandleError(int number, const std::string& description);
    void RunTest(int index, double& elapsed, double& bytes);

    BenchmarkState& state_;
    MainWindowIO& window_;
    DroneFleet fleet_;
    bool stopRequested_ = false;
    bool running_ = false;
    bool closeRequested_ = false;
    int stallTimeoutSeconds_ = 120;
};

}  // namespace wirepace
