// SPDX-License-Identifier: MIT
// One run of the nine tests: typed settings in, events out to an observer, a typed result
// back. Every front end (the windows, wirepace-cli, the tests) drives it alike.
#pragma once

#include <functional>
#include <string>

#include "core/free_space.h"
#include "core/run_observer.h"
#include "core/run_result.h"
#include "core/run_settings.h"

namespace wirepace {

// Where a run keeps its work files and its log; the process decides, the engine is told.
struct RunEnvironment {
    std::string workRoot;  // ends in the platform separator
    std::string logPath;   // full path of "TestResults.txt"
    // Tells a network target from a local disk; the platform's check unless a test stands in.
    std::function<bool(const std::string&)> isNetworkFolder;
    // Tests only: a pause for every MiB a timed copy moves, standing in for a slow link
    // (ControllerEnvironment takes it from WIREPACE_TEST_MS_PER_MIB, as the drones do).
    double slowLinkMsPerMiB = 0;
    // The pause before each test, with its name shown. Tests that run many whole runs shorten
    // it (ControllerEnvironment takes it from WIREPACE_TEST_PAUSE_BEFORE_TEST_S).
    double pauseBeforeTestSeconds = 0.5;
    // Reads a folder's free space for the check before the run; the platform's unless a test
    // stands in.
    DiskSpaceReader diskSpace = {};
};

// The environment of this process: the platform's work root and log folder.
RunEnvironment ControllerEnvironment();

// Runs the tests with `settings`, telling `observer` as it goes, and cleans up however the
// run ends: drones ended, work files removed from the work root and the target, the share
// unmapped. `stop` is checked before each test and while drones are awaited; a test cut short
// is not recorded. Settings that fail CheckSettings raise SettingsError before anything is
// touched or logged. Waits let the front end's events through (PumpEvents).
RunResult RunBenchmark(const RunSettings& settings, const RunEnvironment& environment,
                       RunObserver& observer, const StopToken& stop);

// The bytes test `index` moves with these sizes (tests 6 to 8: all drones' copies).
double BytesToMove(const RunSettings& settings, int index);
// The drones test `index` runs: 2 for test 6, 5 for tests 7 and 8, none otherwise.
int DronesOf(int index);

}  // namespace wirepace
