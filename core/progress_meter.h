// SPDX-License-Identifier: MIT
// Follows the bytes one test moves: reports them to the observer a few times a second and
// keeps how many moved in each second of the test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/run_observer.h"
#include "core/run_result.h"

namespace wirepace {

// The progress of a test as a person reads it: "Test 5 of 9: 12.5 of 100.0 MB, 11,234 KB/s,
// 1.2 s"; for tests 6 to 8 each drone's share instead of the megabytes ("drones 41 38 % ...").
std::string ProgressText(const TestProgress& progress);
// The part done, 0 to 1000.
int ProgressPermille(const TestProgress& progress);

class ProgressMeter {
  public:
    // `drones` is 0 for a single copy, else the number of drones whose bytes are followed.
    ProgressMeter(RunObserver& observer, int index, double totalBytes, int drones = 0);

    // The test's clock starts now.
    void Start();
    // Bytes moved so far: in all, or per drone. Cheap enough to call after every piece.
    void Update(double bytes);
    void UpdateDrones(const std::vector<std::int64_t>& bytes);
    // The test moved `bytes` in all, ending now or, for drones that time themselves, at the
    // last update: the last report.
    void Finish(double bytes, bool atLastUpdate = false);
    // The bytes of each second of the finished test into `result`.
    void FillSamples(TestResult& result) const;

  private:
    void Record(double now, double bytes, const std::vector<double>* drones);
    void Report(double now);

    RunObserver& observer_;
    TestProgress progress_;
    double startMs_ = 0;
    double lastUpdateMs_ = 0;
    double endMs_ = 0;
    double lastReportMs_ = 0;
    double lastReportBytes_ = 0;
    // Bytes in all and per drone at each second mark passed so far; [0] is the start.
    std::vector<double> marks_;
    std::vector<std::vector<double>> droneMarks_;
};

}  // namespace wirepace
