// SPDX-License-Identifier: MIT
// What a run produced, as numbers: every front end and report reads it, none parses text.
#pragma once

#include <string>
#include <vector>

#include "core/run_settings.h"

namespace wirepace {

struct TestResult {
    int index = 0;  // in the catalogue, 0 to 8
    std::string id, name;
    double exactMs = 0;   // the measured time, fractional
    double ms = 0;        // rounded to whole milliseconds, as the log and the table show it
    double bytes = 0;     // bytes moved (all copies' for tests 6 to 8)
    double speed = 0;     // KB/s (1024 bytes), rounded, from the rounded-before-rounding time
    double sizeMB = 0;    // bytes in MB, rounded to three decimals
    std::string comment;  // a diagnosis, or empty
    std::vector<double> droneMs;  // tests 6 to 8: each drone's own time, in drone order
    std::string logLine;          // the line the results log got, without its line end
    // Bytes moved in each second of the test, in order (the last one may be part of a
    // second); for tests 6 to 8 all drones' bytes together.
    std::vector<double> intervals;
    // Tests 6 to 8: each drone's bytes in each second, in drone order.
    std::vector<std::vector<double>> droneIntervals;
    // The time the samples span, from the test's start (for tests 6 to 8 the drones' release)
    // to its end: it tells how much of a second the last sample covers.
    double samplesMs = 0;
};

// The length of one sample of `TestResult::intervals`.
inline constexpr double kSampleIntervalMs = 1000;

enum class RunOutcome { Finished, Interrupted, Error };

struct RunResult {
    RunSettings settings;  // as the run used them, the password left out
    std::string target;    // the target as the run showed it (separators normalised)
    double startedAt = 0;  // when the run started, seconds since 1970-01-01 UTC
    bool targetIsRemote = false;
    // The file system the target lies on, as the system names it ("ext4", "fuse.sshfs",
    // "NTFS"); "" when it could not be told.
    std::string targetFileSystem;
    std::vector<TestResult> tests;  // the tests the run completed, in order
    RunOutcome outcome = RunOutcome::Error;
    int errorNumber = 0;  // with RunOutcome::Error; 0 when the failure has no number
    std::string errorDescription;
    // What the run told the user about its end beside the results: the error line and its
    // advice, a mapping that could not be removed, a cleanup that failed.
    std::vector<std::string> errorLines;
    std::string note;  // why the diagnoses stayed silent, or empty

    const TestResult* Find(int index) const {
        for (const TestResult& t : tests)
            if (t.index == index) return &t;
        return nullptr;
    }
};

// The status line's text for an outcome: "Finished", "Interrupted by user" or "ERROR".
const char* OutcomeText(RunOutcome outcome);

}  // namespace wirepace
